#include "sim/PbxSite.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "sim/PbxAssets.h"

namespace sim {
namespace {

const char* const NOTICE_SAVED = "Die Einstellungen wurden gespeichert.";

// The box above a form that tells what became of the last submission.
std::string NoticeBox(const std::string& notice) {
    return notice.empty() ? std::string() : "<div class=\"hinweis\">" + notice + "</div>\n";
}

bool IsDigits(const std::string& text, size_t min, size_t max) {
    return text.size() >= min && text.size() <= max &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Valid UTF-8 without control characters, at most maxChars characters.
bool IsCleanText(const std::string& text, size_t maxChars) {
    size_t chars = 0;
    for (size_t i = 0; i < text.size(); ++chars) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t extra = 0;
        if (c < 0x20 || c == 0x7F) return false;
        if (c >= 0x80) {
            if (c >= 0xC2 && c <= 0xDF)
                extra = 1;
            else if (c >= 0xE0 && c <= 0xEF)
                extra = 2;
            else if (c >= 0xF0 && c <= 0xF4)
                extra = 3;
            else
                return false;
        }
        if (i + extra >= text.size()) return false;
        for (size_t k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += extra + 1;
    }
    return chars <= maxChars;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool Decode(const std::string& in, std::string& out) {
    out.clear();
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '+') {
            out += ' ';
        } else if (in[i] == '%') {
            if (i + 2 >= in.size()) return false;
            const int hi = HexValue(in[i + 1]);
            const int lo = HexValue(in[i + 2]);
            if (hi < 0 || lo < 0) return false;
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            out += in[i];
        }
    }
    return true;
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

const char* ForwardModeText(const std::string& mode) {
    if (mode == "sofort") return "Sofort";
    if (mode == "besetzt") return "Bei besetzt";
    if (mode == "verzoegert") return "Nach 20 Sekunden";
    return "Aus";
}

CHttpResponse Asset(const std::string& type, const std::string& body) {
    return CHttpResponse(200, type, body);
}

CHttpResponse NotAllowed(const std::string& method, const std::string& allowed) {
    CHttpResponse response =
        CPbxSite::ErrorPage(405, "Die Methode " + method + " ist für diese Seite nicht erlaubt.");
    response.AddHeader("Allow", allowed);
    return response;
}

}  // namespace

CPbxSite::CPbxSite() : m_started(std::chrono::steady_clock::now()) {
    const std::array<const char*, EXTENSIONS> names{"Zentrale", "Vertrieb",         "Buchhaltung",
                                                    "Lager",    "Geschäftsführung", "Werkstatt",
                                                    "Fax",      "Türsprechstelle"};
    for (size_t i = 0; i < EXTENSIONS; ++i) {
        m_extensions[i] = {std::to_string(20 + i), names[i], std::to_string(4711020 + i), "aus",
                           ""};
    }
}

CPbxSite::Extension CPbxSite::GetExtension(size_t index) const {
    std::lock_guard lock(m_mutex);
    return m_extensions.at(index);
}

std::string CPbxSite::Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

bool CPbxSite::ParseForm(const std::string& body, Form& form) {
    size_t pos = 0;
    while (pos <= body.size()) {
        auto end = body.find('&', pos);
        if (end == std::string::npos) end = body.size();
        const std::string pair = body.substr(pos, end - pos);
        if (!pair.empty()) {
            const auto eq = pair.find('=');
            std::string name;
            std::string value;
            if (!Decode(pair.substr(0, eq), name)) return false;
            if (eq != std::string::npos && !Decode(pair.substr(eq + 1), value)) return false;
            form[name] = value;
        }
        pos = end + 1;
    }
    return true;
}

CHttpResponse CPbxSite::Handle(const CHttpRequest& request) {
    if (request.Method() == "HEAD") {
        CHttpResponse response = Route(request);
        response.SetHeadOnly();
        return response;
    }
    return Route(request);
}

CHttpResponse CPbxSite::Route(const CHttpRequest& request) {
    if (auto measurement = MeasurementRoute(request)) return *measurement;
    const std::string& path = request.Path();
    const std::string& method = request.Method();
    const bool read = method == "GET" || method == "HEAD";

    static const std::map<std::string, std::pair<std::string, const std::string& (*)()>> assets{
        {"/stil.css", {"text/css; charset=utf-8", &CPbxAssets::StyleSheet}},
        {"/bilder/logo.svg", {"image/svg+xml", &CPbxAssets::LogoSvg}},
        {"/bilder/ok.svg", {"image/svg+xml", &CPbxAssets::StatusOkSvg}},
        {"/bilder/telefon.svg", {"image/svg+xml", &CPbxAssets::PhoneSvg}},
    };
    const bool isForm = path == "/nebenstellen" || path == "/rufumleitung" || path == "/datum";
    const bool known = assets.count(path) || isForm || path == "/" || path == "/index.html" ||
                       path == "/anrufliste" || path == "/beenden";
    if (!known) return ErrorPage(404, "Die Seite „" + path + "“ gibt es in dieser Anlage nicht.");
    if (!read && !(isForm && method == "POST"))
        return NotAllowed(method, isForm ? "GET, HEAD, POST" : "GET, HEAD");
    if (const auto asset = assets.find(path); asset != assets.end())
        return Asset(asset->second.first, asset->second.second());
    if (method == "POST") {
        const std::string type = request.Header("content-type");
        if (type.rfind("application/x-www-form-urlencoded", 0) != 0)
            return ErrorPage(400,
                             "Formulardaten werden nur als "
                             "application/x-www-form-urlencoded angenommen.");
        Form form;
        if (!ParseForm(request.Body(), form))
            return ErrorPage(400, "Die Formulardaten sind fehlerhaft kodiert.");
        if (path == "/nebenstellen") return PostExtensions(form);
        if (path == "/rufumleitung") return PostForwarding(form);
        return PostDateTime(form);
    }
    if (path == "/nebenstellen") return ExtensionsPage("");
    if (path == "/rufumleitung") return ForwardingPage("");
    if (path == "/datum") return DateTimePage("");
    if (path == "/anrufliste") return CallLogPage();
    if (path == "/beenden") return QuitPage();
    return StartPage();
}

std::optional<CHttpResponse> CPbxSite::MeasurementRoute(const CHttpRequest& request) {
    const std::string& method = request.Method();
    if (request.Path() == DATA_PATH) {
        if (method != "GET" && method != "HEAD") return NotAllowed(method, "GET, HEAD");
        return DataPage(request.Query());
    }
    if (request.Path() == CHttpRequest::UPLOAD_PATH) {
        if (method != "POST") return NotAllowed(method, "POST");
        return CHttpResponse(200, "text/plain; charset=utf-8",
                             std::to_string(request.Body().size()) + "\n");
    }
    return std::nullopt;
}

CHttpResponse CPbxSite::DataPage(const std::string& query) {
    Form form;
    const auto size = ParseForm(query, form) ? form.find("groesse") : form.end();
    if (size == form.end() || !IsDigits(size->second, 1, 9) ||
        std::stoul(size->second) > MAX_DATA_BYTES)
        return ErrorPage(400, "Die Größe muss als groesse=N mit höchstens " +
                                  std::to_string(MAX_DATA_BYTES) + " Bytes angegeben werden.");
    static const std::string line = "TK 2408 Messdaten 0123456789 abcdefghijklmnopqrstuvwxyz\n";
    const size_t bytes = std::stoul(size->second);
    std::string body;
    body.reserve(bytes + line.size());
    while (body.size() < bytes) body += line;
    body.resize(bytes);
    return CHttpResponse(200, "text/plain; charset=utf-8", std::move(body));
}

std::string CPbxSite::Layout(const std::string& active, const std::string& title,
                             const std::string& content) const {
    static const std::array<std::pair<const char*, const char*>, 5> links{{
        {"/", "Übersicht"},
        {"/nebenstellen", "Nebenstellen"},
        {"/rufumleitung", "Rufumleitung"},
        {"/datum", "Datum und Uhrzeit"},
        {"/anrufliste", "Anrufliste"},
    }};
    std::string nav;
    for (const auto& [href, text] : links) {
        nav += std::string("<a href=\"") + href + "\"" +
               (active == href ? " class=\"aktiv\"" : "") + ">" + text + "</a>";
    }
    nav += "<a href=\"/beenden\" class=\"beenden\">Beenden</a>";
    return "<!DOCTYPE html>\n<html lang=\"de\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<title>" +
           title +
           " – TK 2408</title>\n"
           "<link rel=\"stylesheet\" href=\"/stil.css\">\n"
           "<link rel=\"icon\" href=\"/bilder/logo.svg\" type=\"image/svg+xml\">\n</head>\n<body>\n"
           "<header><img src=\"/bilder/logo.svg\" alt=\"\"><h1>ISDN-Telefonanlage TK 2408</h1>"
           "<span class=\"modell\">Konfiguration über Fernwartung</span></header>\n"
           "<nav>" +
           nav + "</nav>\n<main>\n<h2>" + title + "</h2>\n" + content +
           "</main>\n<footer>TK 2408 · Firmware 2.4.7 · Fernwartung über ISDN</footer>\n"
           "</body>\n</html>\n";
}

std::string CPbxSite::SystemTimeText() const {
    using namespace std::chrono;
    const auto now = time_point_cast<seconds>(Clock::now()) + m_clockOffset;
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss time{now - day};
    static const std::array<const char*, 7> weekdays{
        "Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag"};
    char text[96];
    std::snprintf(text, sizeof text, "%s, %02u.%02u.%04d, %02ld:%02ld Uhr",
                  weekdays[weekday{day}.c_encoding()], static_cast<unsigned>(date.day()),
                  static_cast<unsigned>(date.month()), static_cast<int>(date.year()),
                  static_cast<long>(time.hours().count()),
                  static_cast<long>(time.minutes().count()));
    return text;
}

CHttpResponse CPbxSite::StartPage() {
    std::lock_guard lock(m_mutex);
    const auto up = std::chrono::duration_cast<std::chrono::seconds>(
                        std::chrono::steady_clock::now() - m_started)
                        .count();
    char uptime[64];
    std::snprintf(uptime, sizeof uptime, "%lld Std. %02lld Min.", static_cast<long long>(up / 3600),
                  static_cast<long long>(up / 60 % 60));
    size_t forwarded = 0;
    for (const auto& e : m_extensions) forwarded += e.forwardMode != "aus" ? 1u : 0u;
    const std::string ok = "<span class=\"status ok\"><img src=\"/bilder/ok.svg\" alt=\"\">";
    std::string content =
        "<div class=\"karte\"><h3>Systemzustand</h3><dl class=\"zustand\">"
        "<dt>Betriebszustand</dt><dd>" +
        ok +
        "Betriebsbereit</span></dd>"
        "<dt>Anlagenzeit</dt><dd>" +
        SystemTimeText() +
        "</dd>"
        "<dt>Laufzeit seit Neustart</dt><dd>" +
        uptime +
        "</dd>"
        "<dt>Firmware</dt><dd>2.4.7 (Build 1187)</dd>"
        "<dt>Nebenstellen eingerichtet</dt><dd>" +
        std::to_string(EXTENSIONS) +
        "</dd>"
        "<dt>Aktive Rufumleitungen</dt><dd>" +
        std::to_string(forwarded) +
        "</dd>"
        "<dt>Gespeicherte Änderungen</dt><dd>" +
        std::to_string(m_nChanges) +
        "</dd>"
        "</dl></div>\n"
        "<div class=\"karte\"><h3>Anschlüsse</h3><table><tr><th>Anschluss</th><th>Art</th>"
        "<th>Zustand</th></tr>"
        "<tr><td>S0 extern 1</td><td>Mehrgeräteanschluss</td><td>" +
        ok +
        "Schicht 1 aktiv</span></td></tr>"
        "<tr><td>S0 extern 2</td><td>Anlagenanschluss</td><td>" +
        ok +
        "Fernwartung verbunden</span></td></tr>"
        "<tr><td>S0 intern</td><td>Systemtelefone</td><td>" +
        ok +
        "Bereit</span></td></tr>"
        "<tr><td>a/b 1–4</td><td>Analoge Endgeräte</td><td class=\"aus\">2 von 4 belegt</td></tr>"
        "</table></div>\n";
    return CHttpResponse::Html(200, Layout("/", "Übersicht", content));
}

CHttpResponse CPbxSite::ExtensionsPage(const std::string& notice) {
    std::lock_guard lock(m_mutex);
    std::string rows;
    for (size_t i = 0; i < EXTENSIONS; ++i) {
        const auto n = std::to_string(i + 1);
        const auto& e = m_extensions[i];
        rows += "<tr><td><input type=\"text\" name=\"nr" + n + "\" value=\"" + Escape(e.number) +
                "\" maxlength=\"4\"></td><td><input type=\"text\" name=\"name" + n + "\" value=\"" +
                Escape(e.name) + "\" maxlength=\"32\"></td><td><input type=\"text\" name=\"msn" +
                n + "\" value=\"" + Escape(e.msn) + "\" maxlength=\"20\"></td></tr>\n";
    }
    std::string content = NoticeBox(notice);
    content +=
        "<form class=\"karte\" method=\"post\" action=\"/nebenstellen\"><h3>Interne Rufnummern "
        "und zugeordnete MSN</h3><table><tr><th>Nebenstelle</th><th>Bezeichnung</th>"
        "<th>MSN (externe Rufnummer)</th></tr>\n" +
        rows +
        "</table><p class=\"klein\">Nebenstellen haben 2 bis 4 Ziffern; die MSN darf leer "
        "bleiben.</p><div class=\"knoepfe\"><button type=\"submit\">Speichern</button></div>"
        "</form>\n";
    return CHttpResponse::Html(200, Layout("/nebenstellen", "Nebenstellen", content));
}

CHttpResponse CPbxSite::ForwardingPage(const std::string& notice) {
    std::lock_guard lock(m_mutex);
    static const std::array<const char*, 4> modes{"aus", "sofort", "besetzt", "verzoegert"};
    std::string rows;
    for (size_t i = 0; i < EXTENSIONS; ++i) {
        const auto n = std::to_string(i + 1);
        const auto& e = m_extensions[i];
        std::string options;
        for (const char* mode : modes) {
            options += std::string("<option value=\"") + mode + "\"" +
                       (e.forwardMode == mode ? " selected" : "") + ">" + ForwardModeText(mode) +
                       "</option>";
        }
        rows += "<tr><td><img src=\"/bilder/telefon.svg\" alt=\"\"> " + Escape(e.number) + " " +
                Escape(e.name) + "</td><td><select name=\"art" + n + "\">" + options +
                "</select></td><td><input type=\"text\" name=\"ziel" + n + "\" value=\"" +
                Escape(e.forwardTarget) + "\" maxlength=\"20\"></td></tr>\n";
    }
    std::string content = NoticeBox(notice);
    content +=
        "<form class=\"karte\" method=\"post\" action=\"/rufumleitung\"><h3>Rufumleitung je "
        "Nebenstelle</h3><table><tr><th>Nebenstelle</th><th>Umleitung</th><th>Ziel"
        "rufnummer</th></tr>\n" +
        rows +
        "</table><div class=\"knoepfe\"><button type=\"submit\">Speichern</button></div></form>\n";
    return CHttpResponse::Html(200, Layout("/rufumleitung", "Rufumleitung", content));
}

CHttpResponse CPbxSite::DateTimePage(const std::string& notice) {
    std::lock_guard lock(m_mutex);
    using namespace std::chrono;
    const auto now = time_point_cast<seconds>(Clock::now()) + m_clockOffset;
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss time{now - day};
    char dateValue[16];
    char timeValue[40];
    std::snprintf(dateValue, sizeof dateValue, "%04d-%02u-%02u", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    std::snprintf(timeValue, sizeof timeValue, "%02ld:%02ld",
                  static_cast<long>(time.hours().count()),
                  static_cast<long>(time.minutes().count()));
    std::string content = NoticeBox(notice);
    content += "<div class=\"karte\"><h3>Aktuelle Anlagenzeit</h3><p>" + SystemTimeText() +
               "</p></div>\n<form class=\"karte\" method=\"post\" action=\"/datum\">"
               "<h3>Datum und Uhrzeit stellen</h3><table><tr><th>Datum</th><th>Uhrzeit</th></tr>"
               "<tr><td><input type=\"date\" name=\"datum\" value=\"" +
               std::string(dateValue) + "\"></td><td><input type=\"time\" name=\"zeit\" value=\"" +
               timeValue +
               "\"></td></tr></table><p class=\"klein\">Die Uhr läuft ab dem Speichern weiter. "
               "Ohne Amtsanschluss übernimmt die Anlage die Zeit nicht aus dem Netz.</p>"
               "<div class=\"knoepfe\"><button type=\"submit\">Speichern</button></div></form>\n";
    return CHttpResponse::Html(200, Layout("/datum", "Datum und Uhrzeit", content));
}

CHttpResponse CPbxSite::CallLogPage() {
    const std::string content =
        "<div class=\"karte\"><h3>Verbindungen der letzten Monate</h3><table><tr><th>Nr.</th>"
        "<th>Zeitpunkt</th><th>Richtung</th><th>Nebenstelle</th><th>Rufnummer</th>"
        "<th>Dauer</th><th>Einheiten</th></tr>\n" +
        CPbxAssets::CallLogRows() + "</table></div>\n";
    return CHttpResponse::Html(200, Layout("/anrufliste", "Anrufliste", content));
}

CHttpResponse CPbxSite::QuitPage() {
    const std::string content =
        "<div class=\"karte\"><p>Die Fernwartung wird beendet. Sie können dieses Fenster "
        "schließen.</p></div>\n<script>window.close();</script>\n";
    return CHttpResponse::Html(200, Layout("/beenden", "Fernwartung beenden", content));
}

CHttpResponse CPbxSite::PostExtensions(const Form& form) {
    if (auto error = StoreExtensions(form)) return *error;
    return ExtensionsPage(NOTICE_SAVED);
}

std::optional<CHttpResponse> CPbxSite::StoreExtensions(const Form& form) {
    std::lock_guard lock(m_mutex);
    auto updated = m_extensions;
    std::set<std::string> numbers;
    for (size_t i = 0; i < EXTENSIONS; ++i) {
        const auto n = std::to_string(i + 1);
        auto& e = updated[i];
        if (auto it = form.find("nr" + n); it != form.end()) e.number = Trim(it->second);
        if (auto it = form.find("name" + n); it != form.end()) e.name = Trim(it->second);
        if (auto it = form.find("msn" + n); it != form.end()) e.msn = Trim(it->second);
        if (!IsDigits(e.number, 2, 4))
            return ErrorPage(400,
                             "Nebenstelle " + n + ": die Rufnummer muss 2 bis 4 Ziffern haben.");
        if (!numbers.insert(e.number).second)
            return ErrorPage(400, "Die Nebenstelle " + e.number + " ist doppelt vergeben.");
        if (e.name.empty() || !IsCleanText(e.name, 32))
            return ErrorPage(400, "Nebenstelle " + n + ": die Bezeichnung ist leer oder ungültig.");
        if (!IsDigits(e.msn, 0, 20))
            return ErrorPage(400, "Nebenstelle " + n + ": die MSN darf nur Ziffern enthalten.");
    }
    m_extensions = updated;
    ++m_nChanges;
    return {};
}

CHttpResponse CPbxSite::PostForwarding(const Form& form) {
    if (auto error = StoreForwarding(form)) return *error;
    return ForwardingPage(NOTICE_SAVED);
}

std::optional<CHttpResponse> CPbxSite::StoreForwarding(const Form& form) {
    std::lock_guard lock(m_mutex);
    auto updated = m_extensions;
    for (size_t i = 0; i < EXTENSIONS; ++i) {
        const auto n = std::to_string(i + 1);
        auto& e = updated[i];
        if (auto it = form.find("art" + n); it != form.end()) e.forwardMode = it->second;
        if (auto it = form.find("ziel" + n); it != form.end()) e.forwardTarget = Trim(it->second);
        if (e.forwardMode != "aus" && e.forwardMode != "sofort" && e.forwardMode != "besetzt" &&
            e.forwardMode != "verzoegert")
            return ErrorPage(400, "Nebenstelle " + e.number + ": unbekannte Art der Umleitung.");
        if (!IsDigits(e.forwardTarget, e.forwardMode == "aus" ? 0 : 3, 20))
            return ErrorPage(400, "Nebenstelle " + e.number +
                                      ": die Zielrufnummer fehlt oder enthält andere Zeichen als "
                                      "Ziffern.");
    }
    m_extensions = updated;
    ++m_nChanges;
    return {};
}

CHttpResponse CPbxSite::PostDateTime(const Form& form) {
    using namespace std::chrono;
    const auto dateIt = form.find("datum");
    const auto timeIt = form.find("zeit");
    if (dateIt == form.end() || timeIt == form.end())
        return ErrorPage(400, "Datum und Uhrzeit müssen beide angegeben werden.");
    int y = 0;
    unsigned mo = 0, d = 0, h = 0, mi = 0;
    char tail = 0;
    if (std::sscanf(dateIt->second.c_str(), "%4d-%2u-%2u%c", &y, &mo, &d, &tail) != 3 ||
        dateIt->second.size() != 10)
        return ErrorPage(400, "Das Datum „" + dateIt->second + "“ ist ungültig (JJJJ-MM-TT).");
    if (std::sscanf(timeIt->second.c_str(), "%2u:%2u%c", &h, &mi, &tail) != 2 ||
        timeIt->second.size() != 5 || h > 23 || mi > 59)
        return ErrorPage(400, "Die Uhrzeit „" + timeIt->second + "“ ist ungültig (HH:MM).");
    const year_month_day date{year{y}, month{mo}, day{d}};
    if (!date.ok() || y < 1990 || y > 2099)
        return ErrorPage(400, "Das Datum „" + dateIt->second + "“ gibt es nicht.");
    const auto wanted = sys_days{date} + hours{h} + minutes{mi};
    {
        std::lock_guard lock(m_mutex);
        m_clockOffset = wanted - time_point_cast<seconds>(Clock::now());
        ++m_nChanges;
    }
    return DateTimePage(NOTICE_SAVED);
}

CHttpResponse CPbxSite::ErrorPage(int status, const std::string& detail) {
    const std::string title = std::to_string(status) + " " + CHttpResponse::ReasonPhrase(status);
    return CHttpResponse::Html(
        status, "<!DOCTYPE html>\n<html lang=\"de\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
                    title +
                    "</title>\n<link rel=\"stylesheet\" href=\"/stil.css\">\n</head>\n"
                    "<body>\n<main><div class=\"karte\"><h2>" +
                    title + "</h2><p class=\"hinweis fehler\">" + Escape(detail) +
                    "</p><p><a href=\"/\">Zur Übersicht</a></p></div></main>\n</body>\n</html>\n");
}

}  // namespace sim
