#include "sim/PbxAssets.h"

#include <array>
#include <cstdint>
#include <cstdio>

namespace sim {

const std::string& CPbxAssets::StyleSheet() {
    static const std::string css = R"css(:root {
  --blau: #1d4e89; --blau-hell: #e8f0fa; --grau: #5f6b7a; --rand: #d5dce5;
  --gruen: #2e7d32; --rot: #b3261e; --hintergrund: #f4f6f9;
}
* { box-sizing: border-box; }
body { margin: 0; font: 15px/1.5 "Segoe UI", "DejaVu Sans", Arial, sans-serif;
  color: #1f2933; background: var(--hintergrund); }
header { display: flex; align-items: center; gap: 14px; padding: 12px 24px;
  background: var(--blau); color: #fff; }
header img { height: 40px; }
header h1 { margin: 0; font-size: 20px; font-weight: 600; }
header .modell { margin-left: auto; font-size: 13px; opacity: .85; }
nav { display: flex; flex-wrap: wrap; gap: 2px; padding: 0 24px; background: #fff;
  border-bottom: 1px solid var(--rand); }
nav a { padding: 10px 14px; color: var(--blau); text-decoration: none;
  border-bottom: 3px solid transparent; }
nav a:hover { background: var(--blau-hell); }
nav a.aktiv { border-bottom-color: var(--blau); font-weight: 600; }
nav a.beenden { margin-left: auto; color: var(--rot); }
main { max-width: 980px; margin: 24px auto; padding: 0 24px; }
h2 { margin: 0 0 16px; font-size: 22px; color: var(--blau); }
.karte { background: #fff; border: 1px solid var(--rand); border-radius: 6px;
  padding: 18px 22px; margin-bottom: 20px; box-shadow: 0 1px 2px rgba(0,0,0,.04); }
.karte h3 { margin: 0 0 12px; font-size: 16px; }
table { width: 100%; border-collapse: collapse; }
th, td { text-align: left; padding: 7px 10px; border-bottom: 1px solid var(--rand); }
th { background: var(--blau-hell); font-weight: 600; font-size: 14px; }
tr:nth-child(even) td { background: #fafbfd; }
dl.zustand { display: grid; grid-template-columns: 220px 1fr; gap: 6px 16px; margin: 0; }
dl.zustand dt { color: var(--grau); }
dl.zustand dd { margin: 0; font-weight: 600; }
.ok { color: var(--gruen); } .aus { color: var(--grau); } .fehler { color: var(--rot); }
.status { display: inline-flex; align-items: center; gap: 6px; }
.status img { height: 16px; }
input[type=text], input[type=date], input[type=time], select { width: 100%;
  padding: 6px 8px; border: 1px solid #b8c2cf; border-radius: 4px; font: inherit; }
input:focus, select:focus { outline: 2px solid #8fb3e0; border-color: var(--blau); }
.knoepfe { margin-top: 16px; display: flex; gap: 10px; }
button { padding: 8px 18px; border: 0; border-radius: 4px; background: var(--blau);
  color: #fff; font: inherit; cursor: pointer; }
button:hover { background: #163d6b; }
.hinweis { padding: 10px 14px; border-radius: 4px; margin-bottom: 16px;
  background: #e6f4ea; border: 1px solid #a8d5b4; color: var(--gruen); }
.hinweis.fehler { background: #fdecea; border-color: #f1b0aa; color: var(--rot); }
.klein { font-size: 13px; color: var(--grau); }
footer { text-align: center; font-size: 12px; color: var(--grau); margin: 30px 0; }
)css";
    return css;
}

const std::string& CPbxAssets::LogoSvg() {
    static const std::string svg =
        R"(<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48" viewBox="0 0 48 48">)"
        R"(<rect x="2" y="2" width="44" height="44" rx="9" fill="#fff"/>)"
        R"(<rect x="9" y="12" width="30" height="24" rx="3" fill="none" stroke="#1d4e89" stroke-width="3"/>)"
        R"(<g fill="#1d4e89"><circle cx="16" cy="20" r="2.5"/><circle cx="24" cy="20" r="2.5"/>)"
        R"(<circle cx="32" cy="20" r="2.5"/><circle cx="16" cy="28" r="2.5"/><circle cx="24" cy="28" r="2.5"/>)"
        R"(<circle cx="32" cy="28" r="2.5"/></g></svg>)";
    return svg;
}

const std::string& CPbxAssets::StatusOkSvg() {
    static const std::string svg =
        R"(<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16" viewBox="0 0 16 16">)"
        R"(<circle cx="8" cy="8" r="7.5" fill="#2e7d32"/>)"
        R"(<path d="M4.5 8.3l2.3 2.3 4.7-4.9" fill="none" stroke="#fff" stroke-width="1.8"/></svg>)";
    return svg;
}

const std::string& CPbxAssets::PhoneSvg() {
    static const std::string svg =
        R"(<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16" viewBox="0 0 16 16">)"
        R"(<path fill="#1d4e89" d="M3.6 1.2l2.1 2.6c.3.4.3.9 0 1.3L4.6 6.4c.9 1.9 2.4 3.4 )"
        R"(4.3 4.3l1.3-1.1c.4-.3.9-.3 1.3 0l2.6 2.1c.4.3.4.9.1 1.3l-1.2 1.4c-.5.6-1.3.8-2 .6)"
        R"(C6.5 13.6 2.4 9.5 1 4.9c-.2-.7 0-1.5.6-2l1.4-1.2c.2-.3.4-.5.6-.5z"/></svg>)";
    return svg;
}

const std::string& CPbxAssets::CallLogRows() {
    static const std::string rows = [] {
        constexpr std::array<const char*, 3> kinds{"Eingehend", "Ausgehend", "Verpasst"};
        constexpr std::array<const char*, 8> names{"Zentrale", "Vertrieb",         "Buchhaltung",
                                                   "Lager",    "Geschäftsführung", "Werkstatt",
                                                   "Fax",      "Türsprechstelle"};
        std::string out;
        uint32_t seed = 20240611u;
        auto next = [&seed](uint32_t range) {
            seed = seed * 1103515245u + 12345u;
            return (seed >> 8) % range;
        };
        char line[512];
        for (int i = 0; out.size() < 200 * 1024; ++i) {
            const uint32_t kind = next(3);
            const uint32_t ext = next(8);
            const uint32_t seconds = kind == 2 ? 0 : next(1800);
            const int written = std::snprintf(
                line, sizeof line,
                "<tr><td>%d</td><td>%02u.%02u.2024 %02u:%02u</td><td>%s</td><td>%u %s</td>"
                "<td>0%u %u</td><td>%u:%02u min</td><td>%u</td></tr>\n",
                i + 1, 1 + next(28), 1 + next(12), 7 + next(12), next(60), kinds[kind], 20 + ext,
                names[ext], 30 + next(900), 100000 + next(900000), seconds / 60, seconds % 60,
                kind == 1 ? 1 + seconds / 90 : 0u);
            if (written > 0) out.append(line, static_cast<size_t>(written));
        }
        return out;
    }();
    return rows;
}

}  // namespace sim
