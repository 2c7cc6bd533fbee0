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
    "  arq create ARCHIVE [--stored | --fast | --best] [--volume-size SIZE] PATH...\n"
    "  arq list ARCHIVE [--volumes DIR...]\n"
    "  arq test ARCHIVE [--volumes DIR...]\n"
    "  arq extract ARCHIVE [-C DIR] [--overwrite ask|always|never] [--volumes DIR...]\n"
    "  arq show OUTPUT SHOW PLAYER [--stub FILE] [--stored | --fast | --best]\n"
    "  arq help [COMMAND]  |  arq COMMAND --help  |  arq --version\n"
    "\n"
    "ARCHIVE is a plain archive (NAME.arq; \".arq\" may be left off) or, for list, test and\n"
    "extract, any file that carries one, such as a self-extracting program.\n"
    "\n"
    "Options of every command:\n"
    "  -q, --quiet     no progress bar and no summary; trouble is still reported\n"
    "  -v, --verbose   a line for every file handled\n"
    "  -h, --help      the command's help\n"
    "\n"
    "A progress bar is drawn only when standard error is a terminal. Listings and\n"
    "summaries go to standard output, messages and questions to standard error.\n"
    "\n"
    "Exit codes:\n"
    "   0  success\n"
    "   1  an entry was skipped: unknown storage method, or marked not to be extracted\n"
    "   2  bad command line, an option this system cannot carry out, or files that\n"
    "      cannot make what was asked (a name or size the format cannot hold; for show,\n"
    "      a launcher that is not fit, an output that is one of the inputs)\n"
    "   3  an entry was refused: its name would write outside the destination or to a device\n"
    "   4  a file, folder or disk that was named is not there\n"
    "   5  not an archive\n"
    "   6  no room on the drive\n"
    "   7  a file could not be read, created or written\n"
    "   8  not enough memory\n"
    "   9  the archive or an entry is damaged or cut short\n"
    "  10  cancelled: Ctrl+C, or a disk prompt given up\n"
    "  11  create: ARCHIVE exists and is no archive, or not a regular file; it is left alone\n"
    "When a run meets several of these, it ends with the highest code.\n";

const char kCreate[] =
    "Usage: arq create ARCHIVE [--stored | --fast | --best] [--volume-size SIZE] PATH...\n"
    "\n"
    "Writes a new archive holding the files PATH names. A folder is taken with all it\n"
    "holds, and its files are stored under their names relative to it (the folder's own\n"
    "name is not stored); a file is stored under its own name. Stored names are\n"
    "upper-cased, with '\\' between folders; empty folders are not stored. Programs\n"
    "(executable files, and names ending in .EXE, .COM, .BAT, .CMD) get mode 100777,\n"
    "other files 100666; modification times are kept.\n"
    "\n"
    "The archive appears only when it is complete: it is written under a temporary\n"
    "name, renamed at the end, and removed when anything goes wrong. An existing\n"
    "ARCHIVE is replaced only when it is an archive (or empty), keeping its mode; named\n"
    "through a link, the file the link leads to is replaced. Anything else (a text\n"
    "file, a device, a folder) is left alone, with exit code 11. The archive named\n"
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
    "                      in K, M or G (times 1024): 1440K fills a 3.5-inch floppy.\n"
    "  -q, --quiet         no progress bar\n"
    "  -v, --verbose       a line for every file stored\n"
    "\n"
    "Examples:\n"
    "  arq create show.arq build/show\n"
    "  arq create --best --volume-size 1440K backup.arq notes.txt photos\n";

const char kList[] =
    "Usage: arq list ARCHIVE [--volumes DIR...]\n"
    "\n"
    "Shows every entry of the archive, then the totals. Columns: storage method, packed\n"
    "and unpacked size in bytes, packed size as a share of the unpacked size, time of\n"
    "last change (UTC), mode (octal), flags (the flags byte in hex, then N when the\n"
    "entry is marked not to be extracted, S when it goes on on the next disk), the\n"
    "volume number of the disk holding the entry's header (0 = first disk), the name.\n"
    "\n"
    "An archive that ends anywhere but at its end-of-archive record is reported as\n"
    "damaged (exit code 9) after the entries that could be read.\n"
    "\n"
    "Options:\n"
    "  --volumes DIR...    the folders holding the disks of a spanned set, in order\n"
    "                      (see arq extract --help)\n"
    "\n"
    "Example:\n"
    "  arq list show.exe\n";

const char kTest[] =
    "Usage: arq test ARCHIVE [--volumes DIR...]\n"
    "\n"
    "Decodes every entry without writing anything. An entry is intact when it decodes\n"
    "without error, uses exactly its packed size and its sizes agree. Exit code 0 only\n"
    "when every entry is intact and the archive ends at its end-of-archive record.\n"
    "\n"
    "Options:\n"
    "  --volumes DIR...    the folders holding the disks of a spanned set, in order\n"
    "  -q, --quiet         no progress bar and no summary\n"
    "  -v, --verbose       a line for every entry tested\n"
    "\n"
    "Example:\n"
    "  arq test backup.arq\n";

const char kExtract[] =
    "Usage: arq extract ARCHIVE [-C DIR] [--overwrite ask|always|never] [--volumes DIR...]\n"
    "\n"
    "Writes the archive's files under DIR (default: the current folder), creating\n"
    "folders as needed, with the stored modes and times. A line names every entry that\n"
    "is refused (its name would write outside DIR or to a device), skipped (unknown\n"
    "method, marked not to be extracted, no room) or failed (damaged data, a read or\n"
    "write error). Exit code 0 only when every entry was written; files kept by\n"
    "--overwrite never or by a \"no\" answer do not count as failures. What a failed or\n"
    "skipped entry left is removed again, and a file it was to replace comes back. A\n"
    "link standing where a file goes is replaced, never written through; a folder that\n"
    "is a link leading out of DIR refuses the entry, and so does an entry that would\n"
    "replace the archive being read.\n"
    "\n"
    "Options:\n"
    "  -C, --directory DIR         extract into DIR\n"
    "  --overwrite ask|always|never\n"
    "                              what to do with a file that exists: ask (the default\n"
    "                              when standard input is a terminal; answers y, n, A for\n"
    "                              all, N for none), always replace it, or never (the\n"
    "                              default otherwise) keep it\n"
    "  --volumes DIR...            the folders holding the disks of a spanned set, in\n"
    "                              order; the archive's drive (A: unless ARCHIVE names\n"
    "                              another) is pointed at each in turn\n"
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
    "  arq extract backup.arq --volumes backup.arq.1 backup.arq.2\n";

const char kShow[] =
    "Usage: arq show OUTPUT SHOW PLAYER [--stub FILE] [--stored | --fast | --best]\n"
    "\n"
    "Writes a self-running show: the launcher program, then an archive holding SHOW as\n"
    "its first entry (mode 100666) and PLAYER as its second (mode 100777), each under\n"
    "its own file name upper-cased, with its modification time. Started, the launcher\n"
    "extracts both and runs the player on the show.\n"
    "\n"
    "The launcher is Vardok.exe from the folder that holds arq, or FILE. It must be a\n"
    "32-bit Windows program that holds neither record signature (67 57 04 01,\n"
    "67 57 04 02), and at most 3999984 bytes long: the launcher finds its archive only\n"
    "within the first 4000000 bytes of its file. OUTPUT appears only when complete, and\n"
    "the same inputs always give the same bytes, so a show can be built again and\n"
    "compared. OUTPUT may not be one of the inputs, under any name.\n"
    "\n"
    "Signing: sign the finished OUTPUT, not the launcher, so that the signature covers\n"
    "the show; a launcher that is already signed is used, with a warning. With\n"
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
