#pragma once

#include <QWebEngineView>
#include <string>

#include "platform/Window.h"

class QWebEngineProfile;

namespace app {

// The browser view of the main window. It shows only pages of the program's
// own local listener: the status page, or the PBX's pages through the relay.
class CQuorbelView : public QWebEngineView, public platform::CPageView {
    Q_OBJECT
public:
    explicit CQuorbelView(QWidget* parent = nullptr);
    ~CQuorbelView() override;

    void ShowPage(const std::string& url) override;
    void Stop() override;

    // The URL last passed to ShowPage that led to a navigation.
    const std::string& CurrentUrl() const { return m_strCurrentUrl; }

    // The table's URLs carry backslashes after the scheme; the engine needs slashes.
    static QUrl ToEngineUrl(const std::string& url);

private:
    void PurgeLocalUrlCache();

    QWebEngineProfile* m_pProfile;  // owned through the Qt parent
    std::string m_strCurrentUrl;
};

}  // namespace app
