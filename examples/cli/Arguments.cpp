#include "cli/Arguments.h"

#include <cstdlib>

#include <ParcelonC.h>

#include "cli/Console.h"

namespace cli {

namespace {

const char* const kHelp =
    "parcelon: ZIP archives with the Parcelon library\n"
    "\n"
    "usage:\n"
    "  parcelon pack ARCHIVE FILE... [options]     pack the files, each under its own name\n"
    "  parcelon packdir ARCHIVE DIR [options]      pack a folder and its subfolders\n"
    "  parcelon list ARCHIVE                       sizes, dates and names, with totals\n"
    "  parcelon test ARCHIVE [--password [P]]      read and check every entry, write nothing\n"
    "  parcelon extract ARCHIVE DEST [PATTERN...]  extract into DEST (made if missing)\n"
    "\n"
    "options:\n"
    "  --level N          pack, packdir: Deflate level 0 (store) to 9 (smallest); default 6\n"
    "  --threads N        threads to compress with (pack, packdir) or to read with (test,\n"
    "                     extract), 0 (default) every processor; the archive, or the files\n"
    "                     written, are the same whatever N\n"
    "  --password [P], -P [P]\n"
    "                     ZIP encryption (the traditional cipher, unless --aes); without P (or\n"
    "                     with -), the password is read from the terminal without echo (packing\n"
    "                     asks twice). A password starting with '-' is given as --password=-P\n"
    "  --aes              pack, packdir: encrypt with AES-256 (WinZip's AE-2) rather than the\n"
    "                     traditional cipher; needs --password. 7-Zip and WinZip open such\n"
    "                     archives; Windows' own folders and Info-ZIP unzip do not\n"
    "  --portable         pack, packdir: the archive other tools write: names with / (UTF-8\n"
    "                     beyond ASCII), every folder an entry of its own (empty ones too), each\n"
    "                     file's time and permissions; unzip, 7-Zip, bsdtar and Python unpack\n"
    "                     the same tree from it\n"
    "  --allow-missing    pack: a listed file that does not exist is no failure\n"
    "  --flat             packdir: only the folder's own files, no subfolders\n"
    "  --minutes N        packdir: only files written within the last N minutes\n"
    "  --include F        packdir: only files F names; F is an extension (*.txt or .txt),\n"
    "                     a dotted suffix (*.tar.gz) or a folder name (docs), in any case\n"
    "  --exclude F        packdir: leave out the files F names (not used with --include)\n"
    "  PATTERN            extract: only entries whose names match: * any run of characters,\n"
    "                     folders included, ? one character; case counts\n"
    "  --overwrite        extract: replace files that exist in DEST\n"
    "  --skip-existing    extract: keep files that exist in DEST and pass their entries over\n"
    "                     (without either, an existing file is a failure and stays as it is)\n"
    "  --keep-going       extract: after a failed entry go on with the next\n"
    "  -q, --quiet        no progress and no summary; only failures\n"
    "  -h, --help         this text\n"
    "  --version          the tool's and the library's versions\n"
    "\n"
    "examples:\n"
    "  parcelon pack notes.zip a.txt b.txt\n"
    "  parcelon packdir site.zip ./site --exclude .git --exclude '*.tmp'\n"
    "  parcelon packdir today.zip ./logs --include '*.log' --minutes 1440 --password\n"
    "  parcelon packdir share.zip ./photos --portable --aes --password\n"
    "  parcelon list site.zip\n"
    "  parcelon extract site.zip ./restore 'docs/*' --skip-existing\n"
    "\n"
    "Ctrl-C stops packing (the archive is closed with the files packed so far) and\n"
    "extraction (the files written stay; the one in hand leaves nothing).\n"
    "Exit status: 0 success; 1 failure, or damaged entries found by test; 2 a mistake\n"
    "on the command line; 3 the archive was written but files were left out; 130\n"
    "stopped by Ctrl-C.\n";

const char* Synopsis(Command command) {
    switch (command) {
    case Command::pack:
        return "parcelon pack ARCHIVE FILE... [--level N] [--password [P] [--aes]] [--portable] [--threads N]\n"
               "                       [--allow-missing] [-q]";
    case Command::packdir:
        return "parcelon packdir ARCHIVE DIR [--flat] [--include F]... [--exclude F]... [--minutes N]\n"
               "                       [--level N] [--password [P] [--aes]] [--portable] [--threads N] [-q]";
    case Command::list: return "parcelon list ARCHIVE [-q]";
    case Command::test: return "parcelon test ARCHIVE [--password [P]] [--threads N] [-q]";
    case Command::extract:
        return "parcelon extract ARCHIVE DEST [PATTERN...] [--overwrite | --skip-existing] [--keep-going]\n"
               "                       [--password [P]] [--threads N] [-q]";
    }
    return "";
}

// One line of what went wrong, the usage, and where the rest is.
Parsed Mistake(const std::string& what, const Command* command) {
    std::string text = "parcelon: " + what + "\nusage: ";
    text += command != nullptr ? Synopsis(*command) : "parcelon pack|packdir|list|test|extract ARGUMENTS... [OPTIONS]";
    text += "\nsee parcelon --help\n";
    Write(Stream::err, text);
    return {std::nullopt, kExitUsage};
}

bool ParseNumber(const std::string& text, long low, long high, long& value) {
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && end != nullptr && *end == '\0' && value >= low && value <= high;
}

std::optional<Command> CommandNamed(const std::string& name) {
    if (name == "pack") return Command::pack;
    if (name == "packdir") return Command::packdir;
    if (name == "list") return Command::list;
    if (name == "test") return Command::test;
    if (name == "extract") return Command::extract;
    return std::nullopt;
}

// Which commands take an option; nothing for an option that does not exist.
std::optional<std::vector<Command>> CommandsOf(const std::string& option) {
    using C = Command;
    if (option == "--level" || option == "--aes" || option == "--portable") return std::vector<C>{C::pack, C::packdir};
    if (option == "--threads") return std::vector<C>{C::pack, C::packdir, C::test, C::extract};
    if (option == "--password" || option == "-P") return std::vector<C>{C::pack, C::packdir, C::test, C::extract};
    if (option == "--allow-missing") return std::vector<C>{C::pack};
    if (option == "--flat" || option == "--minutes" || option == "--include" || option == "--exclude")
        return std::vector<C>{C::packdir};
    if (option == "--overwrite" || option == "--skip-existing" || option == "--keep-going")
        return std::vector<C>{C::extract};
    if (option == "-q" || option == "--quiet")
        return std::vector<C>{C::pack, C::packdir, C::list, C::test, C::extract};
    return std::nullopt;
}

bool TakesValue(const std::string& option) {
    return option == "--level" || option == "--threads" || option == "--minutes" || option == "--include" ||
           option == "--exclude";
}

const char* Positionals(Command command) {
    switch (command) {
    case Command::pack: return "pack needs an archive and at least one file";
    case Command::packdir: return "packdir takes an archive and a folder";
    case Command::list: return "list takes one archive";
    case Command::test: return "test takes one archive";
    case Command::extract: return "extract needs an archive and a destination folder";
    }
    return "";
}

bool PositionalCountFits(Command command, std::size_t count) {
    switch (command) {
    case Command::pack: return count >= 2;
    case Command::packdir: return count == 2;
    case Command::list:
    case Command::test: return count == 1;
    case Command::extract: return count >= 2;
    }
    return false;
}

} // namespace

std::optional<std::string> FilterProblem(const std::wstring& filter) {
    const char* const syntax = "filters name an extension (*.txt or .txt), a dotted suffix (*.tar.gz) "
                               "or a folder name (docs)";
    if (filter.empty()) return std::string("an empty filter names nothing; ") + syntax;
    if (filter == L"*.*")
        return std::string("*.* matches no file; leave out --include to take every file, or ") + syntax;
    if (filter.find_first_of(L"/\\") != std::wstring::npos)
        return std::string("a path cannot be matched, only a name; ") + syntax;
    // "*.txt" is ".txt"; any other wildcard is matched as a plain character.
    const std::wstring rest = filter.compare(0, 2, L"*.") == 0 ? filter.substr(1) : filter;
    if (rest.find_first_of(L"*?") != std::wstring::npos)
        return std::string("no wildcard but the leading * of *.ext is understood; ") + syntax;
    // A name with a dot that does not start with it is a file's name, which
    // only a folder of that very name would match.
    if (rest[0] != L'.' && rest.find(L'.') != std::wstring::npos)
        return std::string("a file name cannot be matched (a name with a dot inside is no folder name); ") + syntax;
    return std::nullopt;
}

Parsed Parse(const std::vector<Argument>& arguments) {
    for (const Argument& argument : arguments) {
        if (argument.narrow == "--") break;
        if (argument.narrow == "-h" || argument.narrow == "--help") {
            Write(Stream::out, kHelp);
            return {std::nullopt, kExitOk};
        }
        if (argument.narrow == "--version") {
            Write(Stream::out, Format("parcelon %s (Parcelon library %s)\n", PARCELON_C_VERSION, parcelon_version()));
            return {std::nullopt, kExitOk};
        }
    }
    if (arguments.empty()) return Mistake("no command given", nullptr);
    const std::optional<Command> command = CommandNamed(arguments[0].narrow);
    if (!command) {
        const bool option = arguments[0].narrow.size() > 1 && arguments[0].narrow[0] == '-';
        return Mistake((option ? "a command comes first, not the option " : "no such command: ") +
                           Printable(Utf8(arguments[0].wide)),
                       nullptr);
    }
    Options options;
    options.command = *command;
    bool only_positional = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& text = arguments[i].narrow;
        if (only_positional || text.size() < 2 || text[0] != '-') {
            options.positional.push_back(arguments[i]);
            continue;
        }
        if (text == "--") {
            only_positional = true;
            continue;
        }
        // --name=value
        const std::size_t equals = text.compare(0, 2, "--") == 0 ? text.find('=') : std::string::npos;
        const std::string name = text.substr(0, equals);
        const std::optional<std::vector<Command>> commands = CommandsOf(name);
        if (!commands) return Mistake("no such option: " + Printable(Utf8(arguments[i].wide)), &*command);
        bool applies = false;
        for (const Command c : *commands) applies = applies || c == *command;
        if (!applies) return Mistake(name + " does not apply to " + arguments[0].narrow, &*command);

        std::optional<Argument> value;
        if (equals != std::string::npos) {
            value = AfterEquals(arguments[i]);
        } else if (TakesValue(name)) {
            if (i + 1 >= arguments.size()) return Mistake(name + " needs a value", &*command);
            value = arguments[++i];
        }

        long number = 0;
        if (name == "--level") {
            if (!ParseNumber(value->narrow, 0, 9, number)) return Mistake("--level takes 0 to 9", &*command);
            options.level = static_cast<unsigned>(number);
        } else if (name == "--threads") {
            if (!ParseNumber(value->narrow, 0, 1024, number))
                return Mistake("--threads takes a number, 0 for every processor", &*command);
            options.threads = static_cast<unsigned>(number);
        } else if (name == "--minutes") {
            if (!ParseNumber(value->narrow, 0, 100000000, number))
                return Mistake("--minutes takes a number of minutes", &*command);
            options.minutes = static_cast<int>(number);
        } else if (name == "--include" || name == "--exclude") {
            if (const std::optional<std::string> problem = FilterProblem(value->wide))
                return Mistake(name + " '" + Printable(Utf8(value->wide)) + "': " + *problem, &*command);
            (name == "--include" ? options.includes : options.excludes).push_back(value->wide);
        } else if (name == "--password" || name == "-P") {
            // The next argument is the password, unless there is none or it
            // is an option; "-" asks for it.
            if (!value && i + 1 < arguments.size() &&
                (arguments[i + 1].narrow == "-" || arguments[i + 1].narrow.empty() ||
                 arguments[i + 1].narrow[0] != '-'))
                value = arguments[++i];
            options.ask_password = !value || value->narrow == "-";
            options.password.reset();
            if (!options.ask_password) options.password = value->narrow;
        } else if (equals != std::string::npos) {
            return Mistake(name + " takes no value", &*command);
        } else if (name == "--allow-missing") {
            options.allow_missing = true;
        } else if (name == "--aes") {
            options.aes = true;
        } else if (name == "--portable") {
            options.portable = true;
        } else if (name == "--flat") {
            options.recursive = false;
        } else if (name == "--overwrite" || name == "--skip-existing") {
            const Existing wanted = name == "--overwrite" ? Existing::overwrite : Existing::skip;
            if (options.existing != Existing::fail && options.existing != wanted)
                return Mistake("--overwrite and --skip-existing exclude each other", &*command);
            options.existing = wanted;
        } else if (name == "--keep-going") {
            options.keep_going = true;
        } else if (name == "-q" || name == "--quiet") {
            options.quiet = true;
        }
    }
    if (!PositionalCountFits(*command, options.positional.size())) return Mistake(Positionals(*command), &*command);
    if (options.aes && !options.password && !options.ask_password)
        return Mistake("--aes encrypts with a password: give --password too", &*command);
    return {options, kExitOk};
}

} // namespace cli
