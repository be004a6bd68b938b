#pragma once

#include <QObject>
#include <QStringList>
#include <QUrl>

namespace quorvel::test {

// Takes the addresses that the program asks the desktop to open, as a URL handler set
// with QDesktopServices::setUrlHandler(scheme, this, "Open").
class TOpenedUrls : public QObject {
    Q_OBJECT
public:
    QStringList Urls;
public slots:
    void Open(const QUrl& url) { Urls << url.toString(); }
};

} // namespace quorvel::test
