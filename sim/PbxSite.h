#pragma once

#include <array>
#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "sim/HttpRequest.h"
#include "sim/HttpResponse.h"

namespace sim {

// The PBX's configuration web application. Its settings live in memory for
// as long as the simulator runs and are shared by every call, so a value
// stored in one call is shown in the next one, as on a real system.
class CPbxSite {
public:
    struct Extension {
        std::string number;
        std::string name;
        std::string msn;
        std::string forwardMode;  // aus, sofort, besetzt, verzoegert
        std::string forwardTarget;
    };
    static constexpr size_t EXTENSIONS = 8;
    // Pages for measuring the line end to end: "/daten?groesse=N" answers N
    // bytes of text, a POST to "/empfang" answers with the size of its body.
    static constexpr const char* DATA_PATH = "/daten";
    static constexpr size_t MAX_DATA_BYTES = 64 * 1024 * 1024;

    CPbxSite();

    CHttpResponse Handle(const CHttpRequest& request);
    // The answer to a request that could not be read.
    static CHttpResponse ErrorPage(int status, const std::string& detail);

    Extension GetExtension(size_t index) const;

    using Form = std::map<std::string, std::string>;
    // application/x-www-form-urlencoded; false when the coding is broken.
    static bool ParseForm(const std::string& body, Form& form);
    static std::string Escape(const std::string& text);

private:
    using Clock = std::chrono::system_clock;

    CHttpResponse Route(const CHttpRequest& request);
    static std::optional<CHttpResponse> MeasurementRoute(const CHttpRequest& request);
    static CHttpResponse DataPage(const std::string& query);
    CHttpResponse StartPage();
    CHttpResponse ExtensionsPage(const std::string& notice);
    CHttpResponse ForwardingPage(const std::string& notice);
    CHttpResponse DateTimePage(const std::string& notice);
    CHttpResponse CallLogPage();
    CHttpResponse QuitPage();
    CHttpResponse PostExtensions(const Form& form);
    CHttpResponse PostForwarding(const Form& form);
    CHttpResponse PostDateTime(const Form& form);
    // Validate and store a form; the error page when a value is refused.
    std::optional<CHttpResponse> StoreExtensions(const Form& form);
    std::optional<CHttpResponse> StoreForwarding(const Form& form);
    std::string Layout(const std::string& active, const std::string& title,
                       const std::string& content) const;
    std::string SystemTimeText() const;

    mutable std::mutex m_mutex;
    std::array<Extension, EXTENSIONS> m_extensions;
    std::chrono::seconds m_clockOffset{0};
    const std::chrono::steady_clock::time_point m_started;
    unsigned m_nChanges = 0;
};

}  // namespace sim
