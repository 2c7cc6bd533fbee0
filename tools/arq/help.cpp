// The help texts of arq and its subcommands.
#include "tools/arq/help.h"

#include <cstdio>

#include "tools/arq/console.h"
#include "tools/arq/exit_codes.h"

namespace {

const char kGeneral[] =
    "arq: create, list, test and extract archives, and make self-running shows\n"
    "\n"
    "Usage:\n"
    "  arq create ARCHIVE [--stored | --fast | --best] [--volume-size SIZE] [-C DIR]\n"
    "             [--keep-case] [--codepage N] [--no-checksum] PATH...\n"
    "  arq list ARCHIVE [NAME...] [--names] [--utc] [--volumes DIR...] [--codepage N]\n"
    "  arq test ARCHIVE [--volumes DIR...] [--codepage N]\n"
    "  arq extract ARCHIVE [NAME...] [-C DIR] [--overwrite ask|always|never] [--stdout]\n"
    "              [--volumes DIR...] [--codepage N]\n"
    "  arq show OUTPUT SHOW PLAYER [--stub FILE] [--stored | --fast | --best] [--no-checksum]\n"
    "           [--codepage N]\n"
    "  arq help [COMMAND]  |  arq COMMAND --help  |  arq --version (or -V)\n"
    "\n"
    "ARCHIVE is a plain archive (NAME.arq; \".arq\" may be left off) or, for list, test and\n"
    "extract, any file that carries one, such as a self-extracting program.\n"
    "\n"
    "Options of every command:\n"
    "  -q, --quiet     no progress bar and no summary; trouble is still reported\n"
    "  -v, --verbose   a line for every file handled\n"
    "  -h, --help      the command's help\n"
    "  --codepage N    the ANSI code page of the stored names: 1252 (the\n"
    "                  default), 932, 936, 949 or 950. The archive does not record it:\n"
    "                  name the same one to list and extract as to create. Names are\n"
    "                  converted between it and the system's names; on Windows the\n"
    "                  system's own ANSI code page is used and N may only name that.\n"
    "\n"
    "A progress bar is drawn only when standard error is a terminal. Listings and\n"
    "summaries go to standard output, messages and questions to standard error.\n"
    "\n"
    "Exit codes:\n"
    "   0  success\n"
    "   1  an entry was skipped: unknown storage method, or marked not to be extracted;\n"
    "      for create, some files were not archived (unreadable, a link to nothing or\n"
    "      round in a circle, a link to a folder it lies in, not a regular file)\n"
    "   2  bad command line, an option this system cannot carry out, or files that\n"
    "      cannot make what was asked (a name or size the format cannot hold; for show,\n"
    "      a launcher that is not fit, a player that is no Windows program, an output\n"
    "      that is one of the inputs)\n"
    "   3  an entry was refused: its name would write outside the destination or to a device\n"
    "   4  a file, folder or disk that was named is not there\n"
    "   5  not an archive\n"
    "   6  no room on the drive\n"
    "   7  a file could not be read, created or written\n"
    "   8  not enough memory\n"
    "   9  the archive or an entry is damaged or cut short\n"
    "  10  cancelled: Ctrl+C, or a disk prompt given up\n"
    "  11  existing files were kept: no terminal to ask, and no --overwrite given\n"
    "  12  create: ARCHIVE exists and is no archive, or not a regular file; show: OUTPUT\n"
    "      exists and is no program, or not a regular file; it is left alone\n"
    "When a run meets several of these, it ends with the gravest, in the order\n"
    "0, 1, 11, 2, 3, ... 10, 12.\n";

const char kCreate[] =
    "Usage: arq create ARCHIVE [--stored | --fast | --best] [--volume-size SIZE] [-C DIR]\n"
    "                  [--keep-case] [--codepage N] [--no-checksum] PATH...\n"
    "\n"
    "Writes a new archive holding the files PATH names. A file is stored under its own\n"
    "name, a folder under its own name (the last part of PATH) with all it holds:\n"
    "\"arq create a.arq src/bin\" stores BIN\\LS. \".\" adds no name of its own, so\n"
    "\"-C src .\" stores what src holds without the folder. Stored names are upper-\n"
    "cased unless --keep-case is given, with '\\' between folders, in the code page\n"
    "--codepage names. Two files that would be extracted to one name are refused, every\n"
    "such pair named. Empty folders cannot be stored: a warning says how many. Files\n"
    "that cannot be archived (unreadable, links to nothing or round in a circle, links\n"
    "to a folder they lie in, devices and pipes, names holding '\\') are passed over\n"
    "with a warning each, and the run ends with exit code 1. Links are followed.\n"
    "Programs (executable files, and names ending in .EXE, .COM, .BAT, .CMD) get mode\n"
    "100777, other files 100666; the modification times of files and folders are kept\n"
    "(a time after 2038-01-19 03:14:07 UTC, the latest an archive holds, is\n"
    "stored as that time, with a warning). Every entry carries the CRC-32 of its bytes,\n"
    "which list shows and test and extract check.\n"
    "\n"
    "The archive appears only when it is complete: it is written under a temporary\n"
    "name, renamed at the end, and removed when anything goes wrong. An existing\n"
    "ARCHIVE is replaced only when it is an archive (or empty), keeping its mode; named\n"
    "through a link, the file the link leads to is replaced. Anything else (a text\n"
    "file, a device, a folder) is left alone, with exit code 12. The archive named\n"
    "again among the PATHs is passed over with a warning, and an archive that would\n"
    "hold no file at all is not written.\n"
    "\n"
    "Options:\n"
    "  --stored            store the files as they are\n"
    "  --fast              compress with the Crushed method (the default)\n"
    "  --best              compress harder: smaller, slower\n"
    "                      A file that does not get smaller is stored.\n"
    "  --volume-size SIZE  write a spanned set for removable disks of SIZE bytes: folder\n"
    "                      ARCHIVE.1 holds the first disk's volume, ARCHIVE.2 the second,\n"
    "                      and so on, each under the archive's file name. SIZE may end\n"
    "                      in K, M or G (times 1024): 1440K fills a 3.5-inch floppy;\n"
    "                      at most 4294967295 bytes.\n"
    "  -C, --directory DIR take the PATHs that are not absolute from folder DIR\n"
    "  --keep-case         keep the names' letter case (name-case code 3); names that\n"
    "                      differ only in letter case are then stored, with a warning:\n"
    "                      Windows extracts them onto one another\n"
    "  --codepage N        the code page of the stored names (see arq --help)\n"
    "  --no-checksum       leave out the entries' checksums, as archives were written\n"
    "                      before they had them\n"
    "  -q, --quiet         no progress bar\n"
    "  -v, --verbose       a line for every file stored\n"
    "\n"
    "Examples:\n"
    "  arq create show.arq -C build/show .\n"
    "  arq create --best --volume-size 1440K backup.arq notes.txt photos\n"
    "  arq create --keep-case --codepage 932 docs.arq docs\n";

const char kList[] =
    "Usage: arq list ARCHIVE [NAME...] [--names] [--utc] [--volumes DIR...]\n"
    "                [--codepage N]\n"
    "\n"
    "Shows every entry of the archive, or those whose names match a NAME, then the\n"
    "totals. Columns: storage method, packed and unpacked size in bytes, packed size as\n"
    "a share of the unpacked size, time of last change (local time), mode (octal),\n"
    "flags (the flags byte in hex, then N when the entry is marked not to be\n"
    "extracted, S when it goes on on the next disk), the volume number of the disk\n"
    "holding the entry's header (0 = first disk), the CRC-32 of the entry's bytes\n"
    "(only when an entry carries one; - for one that does not), the name.\n"
    "\n"
    "An archive that ends anywhere but at its end-of-archive record is reported as\n"
    "damaged (exit code 9) after the entries that could be read, and so is an entry\n"
    "header that cannot be read. A program is read as its launcher reads it, from the\n"
    "first entry signature in the file: what is listed is what the launcher extracts.\n"
    "\n"
    "A NAME may hold wildcards: * for any run of characters, ? for one; letter case\n"
    "does not count, and \\ and / are alike. A NAME that matches no entry is reported\n"
    "(exit code 4).\n"
    "\n"
    "Options:\n"
    "  --names             only the names, one per line, for scripts\n"
    "  --utc               times in UTC, as the archive stores them\n"
    "  --volumes DIR...    the folders holding the disks of a spanned set, in order\n"
    "                      (see arq extract --help)\n"
    "  --codepage N        the code page the names were stored in (see arq --help)\n"
    "\n"
    "Examples:\n"
    "  arq list show.exe\n"
    "  arq list --names backup.arq '*.txt'\n";

const char kTest[] =
    "Usage: arq test ARCHIVE [--volumes DIR...] [--codepage N]\n"
    "\n"
    "Decodes every entry without writing anything. An entry is intact when it decodes\n"
    "without error, uses exactly its packed size, its sizes agree and, when it carries\n"
    "a checksum, its bytes give that CRC-32. Exit code 0 only\n"
    "when every entry is intact and the archive ends at its end-of-archive record.\n"
    "\n"
    "Options:\n"
    "  --volumes DIR...    the folders holding the disks of a spanned set, in order\n"
    "  --codepage N        the code page the names were stored in (see arq --help)\n"
    "  -q, --quiet         no progress bar and no summary\n"
    "  -v, --verbose       a line for every entry tested\n"
    "\n"
    "Example:\n"
    "  arq test backup.arq\n";

const char kExtract[] =
    "Usage: arq extract ARCHIVE [NAME...] [-C DIR] [--overwrite ask|always|never]\n"
    "                   [--stdout] [--volumes DIR...] [--codepage N]\n"
    "\n"
    "Writes the archive's files, or those whose names match a NAME (wildcards as for\n"
    "arq list), under DIR (default: the current folder), creating folders as needed,\n"
    "with the stored modes and times of files and folders. A line names every entry\n"
    "that is refused (its name would write outside DIR or to a device), skipped\n"
    "(unknown method, marked not to be extracted, no room) or failed (damaged data,\n"
    "data that does not match its checksum, a read or write error), and every NAME\n"
    "that matches no entry (exit code 4). Exit code 0 only when every entry was\n"
    "written; files kept by --overwrite never or by a \"no\" answer do not count as\n"
    "failures. Without a terminal to ask and without --overwrite, existing files are\n"
    "kept, each is named, and the exit code is 11. What a failed or skipped entry\n"
    "left is removed again, and a file it was to replace comes back. A link standing\n"
    "where a file goes is replaced, never written through; a folder that is a link\n"
    "leading out of DIR refuses the entry, and so does an entry that would replace the\n"
    "archive being read.\n"
    "\n"
    "Options:\n"
    "  -C, --directory DIR         extract into DIR\n"
    "  --overwrite ask|always|never\n"
    "                              what to do with a file that exists: ask (the default\n"
    "                              when standard input is a terminal; answers y, n, A for\n"
    "                              all, N for none), always replace it, or never keep\n"
    "                              it (quietly)\n"
    "  -p, --stdout                write the files' bytes to standard output, one after\n"
    "                              the other in archive order, instead of into files\n"
    "  --volumes DIR...            the folders holding the disks of a spanned set, in\n"
    "                              order; the archive's drive (A: unless ARCHIVE names\n"
    "                              another) is pointed at each in turn\n"
    "  --codepage N                the code page the names were stored in (see arq\n"
    "                              --help); extracted files get the system's names\n"
    "  -q, --quiet                 no progress bar and no summary\n"
    "  -v, --verbose               a line for every file written\n"
    "\n"
    "A spanned set on a removable drive is read disk by disk: when the next disk is\n"
    "needed, arq asks for it (Enter when it is in the drive, q to give up). A set\n"
    "written by arq create --volume-size is found by its first folder: when ARCHIVE\n"
    "does not exist but ARCHIVE.1 does, ARCHIVE.1, ARCHIVE.2, ... are used as with\n"
    "--volumes.\n"
    "\n"
    "Examples:\n"
    "  arq extract show.exe -C out\n"
    "  arq extract A:\\BACKUP.ARQ -C restored --overwrite never\n"
    "  arq extract --stdout show.arq DECK.PPS > deck.pps\n"
    "  arq extract backup.arq --volumes backup.arq.1 backup.arq.2\n";

const char kShow[] =
    "Usage: arq show OUTPUT SHOW PLAYER [--stub FILE] [--stored | --fast | --best] [--no-checksum]\n"
    "                [--codepage N]\n"
    "\n"
    "Writes a self-running show: the launcher program, then an archive holding SHOW as\n"
    "its first entry (mode 100666) and PLAYER as its second (mode 100777), each under\n"
    "its own file name upper-cased, with its modification time and the CRC-32 of its\n"
    "bytes. Started, the launcher extracts both and runs the player on the show; an entry\n"
    "whose bytes do not match their checksum is not run.\n"
    "\n"
    "The launcher is FILE, or else Vardok.exe from the folder that holds arq or, as an\n"
    "install places it, from ../share/vardok beside that folder. It must be a\n"
    "32-bit Windows program that holds neither record signature (67 57 04 01,\n"
    "67 57 04 02), and at most 3999984 bytes long: the launcher finds its archive only\n"
    "within the first 4000000 bytes of its file. OUTPUT appears only when complete, and\n"
    "the same inputs always give the same bytes, so a show can be built again and\n"
    "compared. OUTPUT may not be one of the inputs, under any name (names that differ\n"
    "in letter case alone are one file on Windows). An existing OUTPUT is replaced\n"
    "only when it is a Windows program (an earlier show) or empty; anything else is\n"
    "left alone, with exit code 12. Windows runs the show only by a name ending in\n"
    ".exe: another name gets a warning.\n"
    "\n"
    "PLAYER must be a Windows program: an MZ header, a PE header where it points,\n"
    "machine i386 (0x14C) or x86-64 (0x8664), marked runnable and not a library.\n"
    "Anything else is refused; when SHOW is a program and PLAYER is not, the message\n"
    "says the two look swapped (SHOW comes first).\n"
    "\n"
    "Signing: sign the finished OUTPUT, not the launcher, so that the signature covers\n"
    "the show; a launcher that is already signed has its signature taken off, with a\n"
    "warning (the launcher reads its archive only from the bytes in front of its\n"
    "certificate table, which the signature covers). With\n"
    "osslsigncode:\n"
    "  osslsigncode sign -certs cert.pem -key key.pem -n \"Show\" -h sha256 \\\n"
    "      -in show-unsigned.exe -out show.exe\n"
    "arq list, test and extract read the signed file as before.\n"
    "\n"
    "Options:\n"
    "  --stub FILE     the launcher program to put in front\n"
    "  --stored        store the show and the player as they are\n"
    "  --fast          compress with the Crushed method (the default)\n"
    "  --best          compress harder: smaller, slower\n"
    "                  A file that does not get smaller is stored.\n"
    "  --no-checksum   leave out the entries' checksums\n"
    "  --codepage N    the ANSI code page of the machines the show is for (1252 by\n"
    "                  default; see arq --help): the names are stored in it\n"
    "  -q, --quiet     no progress bar and no summary\n"
    "  -v, --verbose   a line for each of the two files\n"
    "\n"
    "Example:\n"
    "  arq show TARNBY.EXE deck.pps player.exe\n";

} // namespace

int PrintHelp(const std::string& command) {
    const char* text = kGeneral;
    if (command == "create") text = kCreate;
    if (command == "list") text = kList;
    if (command == "test") text = kTest;
    if (command == "extract") text = kExtract;
    if (command == "show") text = kShow;
    std::fputs(text, stdout);
    std::fflush(stdout);
    return ARQ_EXIT_OK;
}

int UsageError(const std::string& command, const std::string& message) {
    if (command.empty()) {
        Complain("%s (see arq --help)", message.c_str());
    } else {
        Complain("%s: %s (see arq %s --help)", command.c_str(), message.c_str(), command.c_str());
    }
    return ARQ_EXIT_USAGE;
}

const char* ArqVersion() { return "arq " ARQ_VERSION; }

int CommandLineRead(const std::string& command, const std::vector<std::string>& args, const OptionSpec* specs,
                    int specCount, CommandLine* line, int* code) {
    std::string error;
    if (!ParseCommandLine(args, specs, specCount, line, &error)) {
        *code = UsageError(command, error);
        return 0;
    }
    for (int i = 0; i < specCount; i++) {
        if (std::string(specs[i].long_name) == "help" && OptionGiven(*line, specs[i].id)) {
            *code = PrintHelp(command);
            return 0;
        }
    }
    return 1;
}
