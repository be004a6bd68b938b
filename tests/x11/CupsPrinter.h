#pragma once

#include <string>
#include <sys/types.h>

namespace quorvel::test {

// A private CUPS scheduler listening on a socket of its own, with one PDF printer (the
// generic PDF driver) that writes each job to a file, made the default printer. The
// process's CUPS_SERVER points at it. Needs root, as cupsd does. With `makeDefault` false
// the printer is there but the system has no default printer.
class TCupsPrinter {
public:
    explicit TCupsPrinter(bool makeDefault = true);
    ~TCupsPrinter();
    TCupsPrinter(const TCupsPrinter&) = delete;
    TCupsPrinter& operator=(const TCupsPrinter&) = delete;

    bool Ready() const { return FReady; }
    const std::string& Error() const { return FError; }
    // The file the printer writes each job to.
    std::string OutputFile() const { return FRoot + "/out/page.pdf"; }
    // Waits until the scheduler reports no job pending.
    bool WaitForJobs(int timeoutMs) const;

private:
    std::string FRoot;
    pid_t FScheduler = -1;
    bool FReady = false;
    std::string FError;
};

} // namespace quorvel::test
