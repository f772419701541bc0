// parcelon: the command-line tool over the Parcelon library's C interface.
//
//   parcelon pack ARCHIVE FILE...              pack a list of files
//   parcelon packdir ARCHIVE DIR               pack a folder tree
//   parcelon list ARCHIVE                      sizes, dates, names, totals
//   parcelon test ARCHIVE                      check every entry
//   parcelon extract ARCHIVE DEST [PATTERN...] extract into DEST, made if missing
//
// `parcelon --help` has every option. The pieces live in cli/: the command
// line (Arguments), the commands (PackCommands, ReadCommands), the bar
// (ProgressView), the words for failures (Reports), Ctrl-C (Interrupt), the
// password prompt (Password), and the console's text (Console, Text).
#include <clocale>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/Text.h"

int main(int argc, char** argv) {
    // Paths on the command line are in the user's charset, as are the wide
    // paths the library turns back into file names. Only the charset: a
    // decimal comma would not suit the figures.
    std::setlocale(LC_CTYPE, "");
    const cli::Parsed parsed = cli::Parse(cli::ReadArguments(argc, argv));
    if (!parsed.options) return parsed.exit_status;
    cli::InstallInterruptHandler();
    const cli::Options& options = *parsed.options;
    switch (options.command) {
    case cli::Command::pack: return cli::Pack(options);
    case cli::Command::packdir: return cli::PackDirectory(options);
    case cli::Command::list: return cli::List(options);
    case cli::Command::test: return cli::Test(options);
    case cli::Command::extract: return cli::Extract(options);
    }
    return cli::kExitFailed;
}
