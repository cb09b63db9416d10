#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "gateway/IsdnBridge.h"
#include "gateway/LocalReply.h"
#include "gateway/StatusPage.h"
#include "tests/gateway/LocalServer.h"

namespace {

using gatewaytest::LocalServer;

struct ExpandCase {
    const char* name;
    std::string page;  // the template
    int status;
    uint16_t reason;
    std::string number;
    std::string expected;
};

const std::string kHeaderNoNumber = "<h3><b>Verbindung zu </b></h3>";

std::vector<ExpandCase> ExpandCases() {
    return {
        {"HeaderBeforeAnyCall", "<HEADER />", 1, 0, "", "<HEADER />" + kHeaderNoNumber},
        {"HeaderWithNumber", "x<HEADER />y", 2, 0, "1234",
         "x<HEADER /><h3><b>Verbindung zu 1234</b></h3>y"},
        {"ReadyWithoutReason", "<STATUS />", 1, 0, "", "<STATUS />ISDN Status: Bereit"},
        {"ReadyWithReason", "<STATUS />", 1, 0x3490, "",
         "<STATUS />ISDN Status: Capi: 0x3490 - Aufgelegt"},
        {"ConnectedEndsInFullStop", "<STATUS />", 3, 0, "1234",
         "<STATUS />ISDN Status: Verbunden  1234 - ."},
        {"ErrorHasReasonPart", "<STATUS />", 0, 0, "", "<STATUS />ISDN Status: Fehler - ."},
        {"DiallingKeepsUtf8", "<STATUS />", 2, 0, "0815",
         "<STATUS />ISDN Status: Wähle ...  0815 - ."},
        {"UnknownStatus", "<STATUS />", 9, 0, "", "<STATUS />ISDN Status: Default - ."},
        {"InfoInsertsNothing", "a<INFO />b", 1, 0, "", "a<INFO />b"},
        {"InsertionRightAfterTag", "<p>a<STATUS /></STATUS>b</p>", 1, 0, "",
         "<p>a<STATUS />ISDN Status: Bereit</STATUS>b</p>"},
        {"OtherTagsUnchanged", "<HEAD><header /><Status /><STATUS/>< STATUS /><STATUS  />", 1, 0,
         "", "<HEAD><header /><Status /><STATUS/>< STATUS /><STATUS  />"},
        {"CloseWithoutOpenIsText", "STATUS />x>", 1, 0, "", "STATUS />x>"},
        // The tag text runs from the last '<' to each '>', so a second '>'
        // sees a longer text that is no placeholder.
        {"MarkStaysUntilNextOpen", "<STATUS />>", 1, 0, "", "<STATUS />ISDN Status: Bereit>"},
        {"EveryPlaceholderCounts", "<STATUS /><HEADER /><STATUS />", 1, 0, "",
         "<STATUS />ISDN Status: Bereit<HEADER />" + kHeaderNoNumber +
             "<STATUS />ISDN Status: Bereit"},
        // Far longer than the 79 characters a fixed field would hold.
        {"LongInsertionWhole", "<STATUS />!", 3, 0x3487, std::string(60, '7'),
         "<STATUS />ISDN Status: Verbunden  " + std::string(60, '7') +
             " - ETSI x87: Ruf wurde angenommen und in vorhandenen Kanal übernommen.!"},
        {"LongNumberInHeaderWhole", "<HEADER />", 2, 0, std::string(300, '9'),
         "<HEADER /><h3><b>Verbindung zu " + std::string(300, '9') + "</b></h3>"},
        {"NumberIsNotMarkup", "<HEADER />", 2, 0, "<b>&\"1",
         "<HEADER /><h3><b>Verbindung zu &lt;b&gt;&amp;&quot;1</b></h3>"},
        {"NumberWithPercentIsLiteral", "<HEADER />", 2, 0, "%s%n%d",
         "<HEADER /><h3><b>Verbindung zu %s%n%d</b></h3>"},
        {"NulEndsTheTemplate", std::string("ab\0<STATUS />", 13), 1, 0, "", "ab"},
    };
}

TEST(StatusPage, PlaceholderExpansion) {
    for (const ExpandCase& c : ExpandCases()) {
        SCOPED_TRACE(c.name);
        LocalServer server(c.page);
        server.bridge->m_nStatus = c.status;
        server.bridge->m_wReason = c.reason;
        server.bridge->m_strNumber = c.number;
        const std::optional<std::string> page =
            gateway::ExpandStatusPage(server.bridge->m_pStatusPage.get());
        ASSERT_TRUE(page.has_value());
        EXPECT_EQ(*page, c.expected);
    }
}

struct ReplyCase {
    const char* name;
    std::optional<std::string> page;
    int code;
    std::string expected;
};

TEST(StatusPage, ReplyBytes) {
    const std::string forbidden =
        "HTTP/1.1 403 FORBIDDEN\r\nContent-type: text/html\r\nContent-length: 48\r\n\r\n"
        "<HTML><BODY>ERROR: 403 FORBIDDEN\r\n</BODY></HTML>";
    const std::string notFound =
        "HTTP/1.1 404 NOT FOUND\r\nContent-type: text/html\r\nContent-length: 48\r\n\r\n"
        "<HTML><BODY>ERROR: 404 NOT FOUND\r\n</BODY></HTML>";
    const std::string serverError =
        "HTTP/1.1 500 INTERNEL_SERVER_ERROR\r\nContent-type: text/html\r\nContent-length: "
        "60\r\n\r\n<HTML><BODY>ERROR: 500 INTERNEL_SERVER_ERROR\r\n</BODY></HTML>";
    ASSERT_EQ(forbidden.size(), 119u);
    const std::vector<ReplyCase> cases = {
        {"StatusPage", std::string("<p><STATUS /></p>"), gateway::REPLY_OK,
         "HTTP/1.1 200 OK\r\nContent-type: text/html\r\nContent-length: 36\r\n\r\n"
         "<p><STATUS />ISDN Status: Bereit</p>"},
        {"LengthCountsBytesNotCharacters", std::string("ä"), gateway::REPLY_OK,
         "HTTP/1.1 200 OK\r\nContent-type: text/html\r\nContent-length: 2\r\n\r\nä"},
        {"Forbidden", std::string("x"), gateway::REPLY_FORBIDDEN, forbidden},
        {"NotFound", std::string("x"), gateway::REPLY_NOT_FOUND, notFound},
        {"ServerError", std::string("x"), gateway::REPLY_SERVER_ERROR, serverError},
        {"NoTemplateIsNotFound", std::nullopt, gateway::REPLY_OK, notFound},
        {"EmptyTemplateIsNotFound", std::string(), gateway::REPLY_OK, notFound},
        {"UnknownCodeIsServerError", std::string("x"), 7, serverError},
    };
    for (const ReplyCase& c : cases) {
        SCOPED_TRACE(c.name);
        LocalServer server(c.page);
        EXPECT_EQ(server.Reply(c.code), c.expected);
    }
}

struct LookupCase {
    const char* name;
    std::vector<std::optional<std::string>> files;  // nullopt: the file is missing
    std::optional<std::string> expected;
};

TEST(StatusPage, TemplateLookup) {
    const std::vector<LookupCase> cases = {
        {"FirstThatOpens", {std::nullopt, std::string("B"), std::string("C")}, "B"},
        {"CurrentDirectoryFirst", {std::string("A"), std::string("B")}, "A"},
        {"NoneOpens", {std::nullopt, std::nullopt}, std::nullopt},
        {"EmptyFileMeansNoTemplate", {std::string(), std::string("B")}, std::nullopt},
        {"OverSizeIsRefused",
         {std::string(gateway::CStatusPage::kMaxTemplateSize + 1, 'x')},
         std::nullopt},
    };
    for (const LookupCase& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        std::vector<std::string> paths;
        for (size_t i = 0; i < c.files.size(); ++i) {
            paths.push_back(dir.path().toStdString() + "/t" + std::to_string(i) + ".html");
            if (c.files[i]) std::ofstream(paths.back(), std::ios::binary) << *c.files[i];
        }
        gateway::CStatusPage page(nullptr, paths);
        ASSERT_EQ(page.m_pszTemplate != nullptr, c.expected.has_value());
        if (c.expected) {
            EXPECT_EQ(std::string(page.m_pszTemplate.get()), *c.expected);
        }
    }
}

size_t Count(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

// The template the program ships: German, UTF-8, each placeholder once.
TEST(StatusPage, ShippedTemplate) {
    std::ifstream file(QUORBEL_SHIPPED_TEMPLATE, std::ios::binary | std::ios::ate);
    ASSERT_TRUE(file.is_open()) << QUORBEL_SHIPPED_TEMPLATE;
    std::string text(static_cast<size_t>(file.tellg()), '\0');
    file.seekg(0);
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    EXPECT_NE(text.find("<html lang=\"de\">"), std::string::npos);
    EXPECT_NE(text.find("<meta charset=\"utf-8\">"), std::string::npos);
    EXPECT_NE(text.find("<title>Quorbel</title>"), std::string::npos);
    EXPECT_EQ(Count(text, "<HEADER />"), 1u);
    EXPECT_EQ(Count(text, "<STATUS />"), 1u);

    LocalServer server(text);
    server.bridge->m_nStatus = isdn::STATUS_CONNECTED;
    server.bridge->m_strNumber = "4711";
    const auto page = gateway::ExpandStatusPage(server.bridge->m_pStatusPage.get());
    ASSERT_TRUE(page.has_value());
    EXPECT_EQ(Count(*page, "<HEADER /><h3><b>Verbindung zu 4711</b></h3>"), 1u);
    EXPECT_EQ(Count(*page, "<STATUS />ISDN Status: Verbunden  4711 - ."), 1u);
}

}  // namespace
