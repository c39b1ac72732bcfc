// list: what a content database holds, table by table and module by module.
#include <stdio.h>

#include <algorithm>

#include "commands.h"
#include "content_rows.h"

namespace norwin::content_tool {

namespace {

struct ModuleCounts {
  std::string name;
  bool no_objective = false;  // tasks and questions that name no objective
  size_t objectives = 0, tasks = 0, questions = 0;
};

}  // namespace

Status ListDatabase(const std::filesystem::path& path) {
  Result<std::unique_ptr<ContentFile>> db = ContentFile::Open(path, ContentFile::Access::kRead);
  if (!db.ok()) return db.status();
  Result<std::vector<std::string>> tables = (*db)->Tables();
  if (!tables.ok()) return tables.status();

  size_t width = 5;
  for (const std::string& table : *tables) width = std::max(width, table.size());
  printf("%-*s  %8s\n", static_cast<int>(width), "Table", "Rows");
  for (const std::string& table : *tables) {
    Result<Statement> count = (*db)->Prepare("SELECT count(*) FROM " + QuoteName(table));
    if (!count.ok()) return count.status();
    if (Result<bool> step = count->Step(); !step.ok() || !*step) {
      return (*db)->EngineError("counting the rows of " + table);
    }
    printf("%-*s  %8lld\n", static_cast<int>(width), table.c_str(),
           static_cast<long long>(count->Int(0)));
  }

  // Modules are those of the objectives; a task or question belongs to the
  // module of the objective it names, as the pools sort them.
  const ContentTable* objective_table = FindContentTable("objective");
  Result<std::vector<Row>> objectives = ReadContentTable(**db, *objective_table);
  if (!objectives.ok()) {
    printf("\nNo modules: %s.\n", objectives.message().c_str());
    return Status::Ok();
  }
  std::vector<ModuleCounts> modules;
  ById<size_t> module_of;  // objective ID -> index into modules
  auto module_index = [&](const std::string& name) {
    for (size_t i = 0; i < modules.size(); ++i) {
      if (!modules[i].no_objective && modules[i].name == name) return i;
    }
    modules.push_back(ModuleCounts{name});
    return modules.size() - 1;
  };
  for (const Row& row : *objectives) {
    const size_t index = module_index(row[1].value_or(""));
    ++modules[index].objectives;
    if (row[0]) module_of.emplace(*row[0], index);
  }
  std::optional<size_t> no_objective;
  auto count_by_objective = [&](const char* table, size_t column, size_t ModuleCounts::*field) {
    Result<std::vector<Row>> rows = ReadContentTable(**db, *FindContentTable(table));
    if (!rows.ok()) return;
    for (const Row& row : *rows) {
      const auto found = row[column] ? module_of.find(*row[column]) : module_of.end();
      if (found != module_of.end()) {
        ++(modules[found->second].*field);
        continue;
      }
      if (!no_objective) {
        modules.push_back(ModuleCounts{"(no objective)", true});
        no_objective = modules.size() - 1;
      }
      ++(modules[*no_objective].*field);
    }
  };
  count_by_objective("task", 5, &ModuleCounts::tasks);
  count_by_objective("tblQuestions", 4, &ModuleCounts::questions);

  width = 6;
  for (ModuleCounts& module : modules) {
    if (module.name.empty() && !module.no_objective) module.name = "(no module)";
    width = std::max(width, module.name.size());
  }
  printf("\n%-*s  %10s  %8s  %9s\n", static_cast<int>(width), "Module", "Objectives", "Tasks",
         "Questions");
  for (const ModuleCounts& module : modules) {
    printf("%-*s  %10zu  %8zu  %9zu\n", static_cast<int>(width), module.name.c_str(),
           module.objectives, module.tasks, module.questions);
  }
  return Status::Ok();
}

}  // namespace norwin::content_tool
