#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <functional>
#include <string>

class QProcess;

namespace quorvel {

// The browser window's program: beside this program (a build folder), then in the helpers'
// folder seen from this program's folder (an installed tree, whatever its prefix), then in
// the helpers' folder the build was configured with.
QString WebPageProgramPath();

// The browser window of the web page area as the program sees it: a process of its own
// (quorvel-webpage beside the program, else where it is installed) that carries the
// browser engine, started when the area is chosen and gone with its window.
class TWebPageProcess : public QObject {
public:
    // Starts the window's process with the program's title in the current language.
    // Throws std::runtime_error when it cannot start.
    TWebPageProcess(const QString& applicationTitle, QObject* parent);
    ~TWebPageProcess() override;

    // The whole page in one picture; a null picture when there is no page. Throws when the
    // page cannot be rendered whole or the window's process does not answer.
    QImage CaptureWebPage();
    // Closes the window; the process ends by itself.
    void Close();
    // Runs once when the user has closed the window or its process has ended.
    std::function<void()> Closed;

private:
    std::string ReadLine(int timeoutMs);
    void Read(char* data, qint64 size, int timeoutMs);
    void HandleLines();
    void Finish();

    QProcess* FProcess;
    bool FCapturing = false;
    bool FFinished = false;
};

} // namespace quorvel
