#include "CupsPrinter.h"

#include "DesktopSession.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quorvel::test {

namespace fs = std::filesystem;

TCupsPrinter::TCupsPrinter(bool makeDefault) {
    if (::geteuid() != 0) {
        FError = "the CUPS scheduler needs root";
        return;
    }
    const passwd* lp = ::getpwnam("lp");
    if (lp == nullptr) {
        FError = "no lp user";
        return;
    }
    // Under /tmp and open to read: filters run as lp and must reach their files.
    std::string pattern = "/tmp/quorvel-cups-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        FError = "mkdtemp";
        return;
    }
    FRoot = pattern;
    ::chmod(FRoot.c_str(), 0755);
    for (const char* sub : {"spool", "cache", "state", "log", "tmp", "out", "ppd"}) {
        fs::create_directories(FRoot + "/" + sub);
        if (std::string(sub) == "out" || std::string(sub) == "tmp")
            (void)::chown((FRoot + "/" + sub).c_str(), lp->pw_uid, lp->pw_gid);
    }
    std::ofstream(FRoot + "/cupsd.conf")
        << "Listen " << FRoot << "/cups.sock\n"
        << "LogLevel info\nWebInterface No\nBrowsing No\nDefaultAuthType None\n"
        << "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
        << "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n"
        << "</Policy>\n";
    std::ofstream(FRoot + "/cups-files.conf")
        << "FileDevice Yes\nServerRoot " << FRoot << "\nRequestRoot " << FRoot
        << "/spool\nCacheDir " << FRoot << "/cache\nStateDir " << FRoot << "/state\nTempDir "
        << FRoot << "/tmp\nAccessLog " << FRoot << "/log/access_log\nErrorLog " << FRoot
        << "/log/error_log\nPageLog " << FRoot
        << "/log/page_log\nUser lp\nGroup lp\nSandboxing Relaxed\n";
    FScheduler = ::fork();
    if (FScheduler == 0) {
        const std::string conf = FRoot + "/cupsd.conf";
        const std::string files = FRoot + "/cups-files.conf";
        ::execlp("cupsd", "cupsd", "-f", "-c", conf.c_str(), "-s", files.c_str(),
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const std::string socket = FRoot + "/cups.sock";
    ::setenv("CUPS_SERVER", socket.c_str(), 1);
    if (!TDesktopSession::WaitUntil([&] { return fs::exists(socket); }, 5000)) {
        FError = "cupsd did not start";
        return;
    }
    const std::string add =
        "lpadmin -p QuorvelPDF -E -v file://" + OutputFile() +
        " -m lsb/usr/cupsfilters/Generic-PDF_Printer-PDF.ppd >/dev/null 2>&1" +
        std::string(makeDefault ? " && lpadmin -d QuorvelPDF >/dev/null 2>&1" : "");
    if (std::system(add.c_str()) != 0) {
        FError = "lpadmin failed";
        return;
    }
    FReady = true;
}

TCupsPrinter::~TCupsPrinter() {
    if (FScheduler > 0) {
        ::kill(FScheduler, SIGTERM);
        ::waitpid(FScheduler, nullptr, 0);
    }
    ::unsetenv("CUPS_SERVER");
    if (!FRoot.empty()) {
        std::error_code ec;
        fs::remove_all(FRoot, ec);
    }
}

bool TCupsPrinter::WaitForJobs(int timeoutMs) const {
    return TDesktopSession::WaitUntil(
        [&] {
            FILE* p = ::popen("lpstat -o 2>/dev/null", "r");
            char c;
            const bool pending = p != nullptr && std::fread(&c, 1, 1, p) == 1;
            if (p != nullptr)
                ::pclose(p);
            return !pending && fs::exists(OutputFile()) && fs::file_size(OutputFile()) > 0;
        },
        timeoutMs);
}

} // namespace quorvel::test
