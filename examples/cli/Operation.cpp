#include "cli/Operation.h"

#include "cli/Console.h"
#include "cli/Interrupt.h"
#include "cli/Password.h"

namespace cli {

void Connect(parcelon_archiver* archiver, ProgressView& view, Reports& reports) {
    parcelon_set_option(archiver, PARCELON_OPT_STDERR, 0);
    parcelon_set_progress(archiver, ProgressView::OnProgress, &view);
    parcelon_set_report(archiver, Reports::OnReport, &reports);
}

Password ResolvePassword(const Options& options, bool confirm) {
    Password password;
    if (!options.ask_password) {
        password.text = options.password;
        return password;
    }
    const std::optional<std::string> typed = ReadPassword("Password: ");
    if (!typed) {
        password.exit_status = Interrupted() ? kExitStopped : kExitUsage;
        if (!Interrupted()) Write(Stream::err, "parcelon: no password was typed\n");
        return password;
    }
    if (confirm) {
        if (typed->find_first_not_of(" \t\r\n") == std::string::npos) {
            Write(Stream::err, "parcelon: a blank password would leave the archive unencrypted\n");
            password.exit_status = kExitUsage;
            return password;
        }
        const std::optional<std::string> again = ReadPassword("Password again: ");
        if (!again || *again != *typed) {
            password.exit_status = Interrupted() ? kExitStopped : kExitUsage;
            if (!Interrupted()) Write(Stream::err, "parcelon: the two passwords differ\n");
            return password;
        }
    }
    password.text = typed;
    return password;
}

} // namespace cli
