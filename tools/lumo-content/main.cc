// lumo-content: makes, fills, checks and lists the content database of a
// title (its objectives, tasks, questions with their answers, page
// references and text books), and copies a desktop database into one.
#include <stdio.h>

#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "norwin/version.h"

namespace {

constexpr char kUsage[] =
    "Usage: lumo-content COMMAND ARGUMENTS...\n"
    "\n"
    "Makes and checks the content database of a title: its objectives, tasks,\n"
    "exam questions with their answers, page references and text books.\n"
    "\n"
    "Commands:\n"
    "  create DB                 make the database DB with every table, empty\n"
    "  import DB TABLE FILE.csv  add the rows of FILE.csv to TABLE; the first row\n"
    "                            names the columns, a blank cell is an absent value;\n"
    "                            on a bad row nothing of the file is added\n"
    "  check DB                  list everything the course's pages would refuse\n"
    "                            (missing tables or columns, repeated IDs, questions\n"
    "                            or tasks naming no objective or task); exit status 1\n"
    "                            when there is anything\n"
    "  list DB                   the rows of every table and what every module holds\n"
    "  import-mdb FILE.mdb DB    copy every table of a desktop (Jet) database into\n"
    "                            the new database DB (no password needed)\n"
    "\n"
    "Tables: objective, task, tblQuestions, tblFinalAnswer, tblDialogAnswer,\n"
    "tblPartialAnswer, tblPageRefs (questionID and a column per text book), textBook.\n"
    "\n"
    "Options:\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "Exit status: 0 when the command did its work, 1 when it failed or check found\n"
    "problems, 2 when the command line is wrong.\n";

int UsageError(const std::string& what) {
  fprintf(stderr, "lumo-content: %s\nTry 'lumo-content --help' for more information.\n",
          what.c_str());
  return 2;
}

struct Command {
  std::string_view name;
  size_t operands;
  const char* synopsis;
};

constexpr Command kCommands[] = {
    {"create", 1, "create DB"},
    {"import", 3, "import DB TABLE FILE.csv"},
    {"check", 1, "check DB"},
    {"list", 1, "list DB"},
    {"import-mdb", 2, "import-mdb FILE.mdb DB"},
};

}  // namespace

int main(int argc, char** argv) {
  using namespace norwin::content_tool;
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--version") {
      norwin::PrintVersion("lumo-content");
      return 0;
    }
    if (arg == "--") {
      words.insert(words.end(), argv + i + 1, argv + argc);
      break;
    }
    if (arg.size() > 1 && arg[0] == '-')
      return UsageError("unknown option '" + std::string(arg) + "'");
    words.emplace_back(arg);
  }
  if (words.empty()) return UsageError("no command given");
  const Command* command = nullptr;
  for (const Command& c : kCommands) {
    if (c.name == words[0]) command = &c;
  }
  if (!command) return UsageError("unknown command '" + words[0] + "'");
  if (words.size() - 1 != command->operands) {
    return UsageError(std::string(words.size() - 1 < command->operands ? "missing" : "too many") +
                      " operands; usage: lumo-content " + command->synopsis);
  }

  norwin::Status done;
  if (command->name == "create") {
    done = CreateDatabase(words[1]);
  } else if (command->name == "import") {
    done = ImportCsv(words[1], words[2], words[3]);
  } else if (command->name == "check") {
    done = CheckDatabase(words[1]);
  } else if (command->name == "list") {
    done = ListDatabase(words[1]);
  } else {
    done = ImportMdb(words[1], words[2]);
  }
  if (!done.ok()) {
    fprintf(stderr, "lumo-content: %s\n", done.message().c_str());
    return 1;
  }
  return 0;
}
