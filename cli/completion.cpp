// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/completion.h"

#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/exit_status.h"

namespace sorvina::cli {
namespace {

// What a shell offers where a value goes.
enum class ValueKind {
  kNone,    // a flag: no value
  kAny,     // a value the shell cannot guess, such as a number
  kFile,    // a file or folder name
  kFolder,  // a folder name
  kChoice,  // one of a fixed set of words
};

// An option, or a positional argument when it has no names.
struct ArgumentSpec {
  std::vector<std::string> shortNames;  // with their dash
  std::vector<std::string> longNames;   // with their dashes
  std::string help;
  ValueKind kind = ValueKind::kNone;
  std::string valueName;  // what the help calls the value: FILE, N, ...
  std::vector<std::string> choices;
  bool repeatable = false;

  std::vector<std::string> Names() const {
    std::vector<std::string> names = shortNames;
    names.insert(names.end(), longNames.begin(), longNames.end());
    return names;
  }
};

struct CommandSpec {
  std::string name;
  std::string help;
  std::vector<ArgumentSpec> options;
  std::vector<ArgumentSpec> positionals;
  std::vector<CommandSpec> subcommands;
};

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (std::size_t at = text.find(separator); at != std::string::npos;
       from = at + 1, at = text.find(separator, from))
    parts.push_back(text.substr(from, at - from));
  parts.push_back(text.substr(from));
  return parts;
}

// The value a name stands for: DIR a folder, FILE (also FILE.m3u) or PATH any file. CLI11's
// checks of existing files, folders and paths describe themselves the same way.
ValueKind KindOfName(const std::string& name) {
  const std::string base = name.substr(0, name.find_first_of(".("));
  if (base == "DIR" || base == "FOLDER") return ValueKind::kFolder;
  if (base == "FILE" || base == "PATH") return ValueKind::kFile;
  return ValueKind::kAny;
}

// The words a checked set allows: such a check describes itself as "{a,b,c}" (a map as
// "{a->x,b->y}", of which the keys are what is typed); anything else allows no words.
std::vector<std::string> SetWords(const std::string& description) {
  std::vector<std::string> words;
  if (description.size() < 2 || description.front() != '{' || description.back() != '}')
    return words;
  for (const std::string& item : Split(description.substr(1, description.size() - 2), ','))
    if (!item.empty()) words.push_back(item.substr(0, item.find("->")));
  return words;
}

ArgumentSpec DescribeOption(const CLI::Option& option) {
  ArgumentSpec spec;
  for (const std::string& name : option.get_snames())
    spec.shortNames.push_back("-" + name);
  for (const std::string& name : option.get_lnames())
    spec.longNames.push_back("--" + name);
  spec.help = option.get_description();
  spec.repeatable = option.get_expected_max() > 1;
  if (option.get_items_expected_max() == 0) return spec;  // a flag

  // The type name, then each check's description: "TEXT:{a,b}", "DIR", "TEXT:FILE".
  std::vector<std::string> descriptions = Split(option.get_type_name(), ':');
  spec.valueName = descriptions.front();
  if (!option.nonpositional()) {
    // A positional's own name (FILE) says more than its type (TEXT).
    spec.valueName = option.get_name();
    descriptions.push_back(spec.valueName);
  }
  spec.kind = ValueKind::kAny;
  for (const std::string& description : descriptions) {
    spec.choices = SetWords(description);
    spec.kind = spec.choices.empty() ? KindOfName(description) : ValueKind::kChoice;
    if (spec.kind != ValueKind::kAny) break;
  }
  return spec;
}

// Adds the visible options of `app` to `command`, with those of its option groups, which
// CLI11 keeps as nameless subcommands; named subcommands become subcommands.
void CollectArguments(const CLI::App& app, CommandSpec& command) {
  // An option group carries a copy of its command's help flags.
  const bool optionGroup = app.get_name().empty() && app.get_parent() != nullptr;
  for (const CLI::Option* option : app.get_options()) {
    if (option->get_group().empty()) continue;  // hidden
    if (optionGroup && (option == app.get_help_ptr() || option == app.get_help_all_ptr())) continue;
    (option->nonpositional() ? command.options : command.positionals)
        .push_back(DescribeOption(*option));
  }
  for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
    if (sub->get_name().empty()) {
      CollectArguments(*sub, command);
    } else if (!sub->get_group().empty()) {  // not hidden
      CommandSpec subcommand{sub->get_name(), sub->get_description(), {}, {}, {}};
      CollectArguments(*sub, subcommand);
      command.subcommands.push_back(std::move(subcommand));
    }
  }
}

std::string Join(const std::vector<std::string>& words, std::string_view separator) {
  std::string joined;
  for (const std::string& word : words) {
    if (!joined.empty()) joined += separator;
    joined += word;
  }
  return joined;
}

std::string ReplaceAll(std::string text, std::string_view what, std::string_view with) {
  for (std::size_t at = text.find(what); at != std::string::npos;
       at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
  return text;
}

// A word quoted for bash and zsh.
std::string ShellQuoted(const std::string& text) {
  return "'" + ReplaceAll(text, "'", R"('\'')") + "'";
}

// A word quoted for fish, whose single quotes take \' and \\.
std::string FishQuoted(const std::string& text) {
  return "'" + ReplaceAll(ReplaceAll(text, "\\", "\\\\"), "'", "\\'") + "'";
}

std::vector<std::string> SubcommandNames(const CommandSpec& command) {
  std::vector<std::string> names;
  for (const CommandSpec& sub : command.subcommands)
    names.push_back(sub.name);
  return names;
}

// --- bash ------------------------------------------------------------------------------

// Each command is known by its subcommand path ("" for the program, "probe", "a b").
std::string SubPath(const std::string& path, const std::string& name) {
  return path.empty() ? name : path + " " + name;
}

// Case patterns `'path:word'` for each of `words`.
std::string BashPatterns(const std::string& path, const std::vector<std::string>& words) {
  std::vector<std::string> patterns;
  for (const std::string& word : words)
    patterns.push_back(ShellQuoted(path + ":" + word));
  return Join(patterns, " | ");
}

// The statement that fills COMPREPLY with the values of `kind`.
std::string BashValues(ValueKind kind, const std::vector<std::string>& choices,
                       const std::string& helper) {
  switch (kind) {
    case ValueKind::kFile:
      return helper + " -f";
    case ValueKind::kFolder:
      return helper + " -d";
    case ValueKind::kChoice:
      return "COMPREPLY+=($(compgen -W " + ShellQuoted(Join(choices, " ")) + " -- \"$cur\"))";
    default:
      return ":";
  }
}

// The case arms of the bash function, for every command.
struct BashArms {
  std::string walk;    // the words typed so far: options whose value follows, subcommands
  std::string values;  // completing the value after an option
  std::string words;   // completing a word that is not an option's value
};

void AddBashArms(const CommandSpec& command, const std::string& path, const std::string& helper,
                 BashArms& arms) {
  std::vector<std::string> optionNames;
  for (const ArgumentSpec& option : command.options) {
    for (const std::string& name : option.Names())
      optionNames.push_back(name);
    if (option.kind == ValueKind::kNone) continue;
    const std::string patterns = BashPatterns(path, option.Names());
    arms.walk += "      " + patterns + ") skip=1 ;;\n";
    arms.values += "    " + patterns + ")\n      " +
                   BashValues(option.kind, option.choices, helper) + "\n      return ;;\n";
  }
  for (const CommandSpec& sub : command.subcommands)
    arms.walk += "      " + ShellQuoted(path + ":" + sub.name) +
                 ") command=" + ShellQuoted(SubPath(path, sub.name)) + " ;;\n";

  arms.words += "    " + ShellQuoted(path) + ")\n      if [[ $cur == -* ]]; then\n" +
                "        COMPREPLY=($(compgen -W " + ShellQuoted(Join(optionNames, " ")) +
                " -- \"$cur\"))\n      else\n";
  for (const ArgumentSpec& positional : command.positionals)
    arms.words += "        " + BashValues(positional.kind, positional.choices, helper) + "\n";
  if (!command.subcommands.empty())
    arms.words += "        COMPREPLY+=($(compgen -W " +
                  ShellQuoted(Join(SubcommandNames(command), " ")) + " -- \"$cur\"))\n";
  arms.words += "      fi ;;\n";

  for (const CommandSpec& sub : command.subcommands)
    AddBashArms(sub, SubPath(path, sub.name), helper, arms);
}

void WriteBash(const CommandSpec& program, std::ostream& out) {
  const std::string function = "_" + ReplaceAll(program.name, "-", "_");
  const std::string helper = function + "_paths";
  BashArms arms;
  AddBashArms(program, "", helper, arms);

  out << "# bash completion for " << program.name << ", written by `" << program.name
      << " --completion bash`.\n\n"
      << "# Adds the files and folders (-f) or the folders (-d) that start with $cur.\n"
      << helper << "() {\n"
      << "  local IFS=$'\\n'\n"
      << "  compopt -o filenames 2>/dev/null\n"
      << "  COMPREPLY+=($(compgen \"$1\" -- \"$cur\"))\n"
      << "}\n\n"
      << function << "() {\n"
      << "  local cur=${COMP_WORDS[COMP_CWORD]} prev= command= skip= after_equals= word i\n"
      << "  COMPREPLY=()\n"
      << "  ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
      << "  # bash splits --option=value at the '=': the option is the word before it.\n"
      << "  if [[ $cur == = ]]; then\n"
      << "    cur= after_equals=1\n"
      << "  elif [[ $prev == = ]] && ((COMP_CWORD > 1)); then\n"
      << "    prev=${COMP_WORDS[COMP_CWORD - 2]} after_equals=1\n"
      << "  fi\n"
      << "  # The subcommand given so far; the options' values are skipped.\n"
      << "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
      << "    word=${COMP_WORDS[i]}\n"
      << "    [[ $word == = ]] && continue\n"
      << "    if [[ -n $skip ]]; then\n"
      << "      skip=\n"
      << "      continue\n"
      << "    fi\n"
      << "    case \"$command:$word\" in\n"
      << arms.walk << "    esac\n"
      << "  done\n"
      << "  case \"$command:$prev\" in\n"
      << arms.values << "  esac\n"
      << "  [[ -n $after_equals ]] && return\n"
      << "  case \"$command\" in\n"
      << arms.words << "  esac\n"
      << "}\n\n"
      << "complete -F " << function << " " << program.name << "\n";
}

// --- zsh -------------------------------------------------------------------------------

// Text inside the brackets or after the colons of an _arguments spec.
std::string ZshEscaped(const std::string& text) {
  return ReplaceAll(ReplaceAll(ReplaceAll(ReplaceAll(text, "\\", "\\\\"), "]", "\\]"), "[", "\\["),
                    ":", "\\:");
}

std::string ZshAction(const ArgumentSpec& argument) {
  switch (argument.kind) {
    case ValueKind::kFile:
      return "_files";
    case ValueKind::kFolder:
      return "_files -/";
    case ValueKind::kChoice:
      return "(" + Join(argument.choices, " ") + ")";
    default:
      return " ";  // nothing to offer; the value's name is shown
  }
}

// One `_arguments` spec per name of `option`; names of one option exclude each other.
std::vector<std::string> ZshOptionSpecs(const ArgumentSpec& option) {
  const std::vector<std::string> names = option.Names();
  std::string prefix;
  if (option.repeatable)
    prefix = "*";
  else if (names.size() > 1)
    prefix = "(" + Join(names, " ") + ")";
  std::string value;
  if (option.kind != ValueKind::kNone)
    value = ":" + ZshEscaped(option.valueName) + ":" + ZshAction(option);

  std::vector<std::string> specs;
  for (const std::string& name : names) {
    // A long option also takes its value as --name=value.
    const std::string equals = option.kind != ValueKind::kNone && name.size() > 2 ? "=" : "";
    specs.push_back(
        ShellQuoted(prefix + name + equals + "[" + ZshEscaped(option.help) + "]" + value));
  }
  return specs;
}

void WriteZshFunction(const CommandSpec& command, const std::string& function, std::ostream& out) {
  std::vector<std::string> specs;
  for (const ArgumentSpec& option : command.options)
    for (const std::string& spec : ZshOptionSpecs(option))
      specs.push_back(spec);
  for (const ArgumentSpec& positional : command.positionals)
    specs.push_back(ShellQuoted((positional.repeatable ? "*:" : ":") +
                                ZshEscaped(positional.valueName) + ":" + ZshAction(positional)));
  const bool hasSubcommands = !command.subcommands.empty();
  if (hasSubcommands) {
    specs.push_back("': :->command'");
    specs.push_back("'*:: :->argument'");
  }

  out << function << "() {\n"
      << "  local curcontext=$curcontext state state_descr line ret=1\n"
      << "  typeset -A opt_args\n"
      << "  _arguments -s -S -C \\\n    " << Join(specs, " \\\n    ") << " && ret=0\n";
  if (hasSubcommands) {
    out << "  case $state in\n"
        << "    command)\n"
        << "      local -a commands=(\n";
    for (const CommandSpec& sub : command.subcommands)
      out << "        " << ShellQuoted(ReplaceAll(sub.name, ":", "\\:") + ":" + sub.help) << "\n";
    out << "      )\n"
        << "      _describe -t commands command commands && ret=0\n"
        << "      ;;\n"
        << "    argument)\n"
        << "      case $words[1] in\n";
    for (const CommandSpec& sub : command.subcommands)
      out << "        " << ShellQuoted(sub.name) << ") " << function << "_" << sub.name
          << " && ret=0 ;;\n";
    out << "      esac\n"
        << "      ;;\n"
        << "  esac\n";
  }
  out << "  return ret\n}\n\n";
  for (const CommandSpec& sub : command.subcommands)
    WriteZshFunction(sub, function + "_" + sub.name, out);
}

void WriteZsh(const CommandSpec& program, std::ostream& out) {
  const std::string function = "_" + program.name;
  out << "#compdef " << program.name << "\n"
      << "# zsh completion for " << program.name << ", written by `" << program.name
      << " --completion zsh`.\n\n";
  WriteZshFunction(program, function, out);
  // Loaded from fpath the file is the body of the function; sourced, it registers it.
  out << "if [[ $funcstack[1] == " << function << " ]]; then\n"
      << "  " << function << " \"$@\"\n"
      << "else\n"
      << "  compdef " << function << " " << program.name << "\n"
      << "fi\n";
}

// --- fish ------------------------------------------------------------------------------

// The candidates fish offers for a value: folders or a set of words; nothing for files,
// which fish completes once the script's blanket -f is lifted with -F.
std::string FishCandidates(const ArgumentSpec& argument) {
  if (argument.kind == ValueKind::kFolder)
    return " -a '(__fish_complete_directories (commandline -ct))'";
  if (argument.kind == ValueKind::kChoice) return " -a " + FishQuoted(Join(argument.choices, " "));
  return "";
}

std::string FishAnd(const std::string& condition, const std::string& more) {
  return condition.empty() ? more : condition + "; and " + more;
}

// `condition` holds when the words typed so far select `command`; its own options,
// positionals and subcommand names go before any of its subcommands, as CLI11 reads them.
void WriteFishCommand(const CommandSpec& command, const std::string& program,
                      const std::string& condition, std::ostream& out) {
  std::string own = condition;
  if (!command.subcommands.empty())
    own = FishAnd(condition,
                  "not __fish_seen_subcommand_from " + Join(SubcommandNames(command), " "));
  const std::string start =
      "complete -c " + program + (own.empty() ? "" : " -n " + FishQuoted(own));

  for (const ArgumentSpec& option : command.options) {
    out << start;
    for (const std::string& name : option.shortNames)
      out << " -s " << name.substr(1);
    for (const std::string& name : option.longNames)
      out << " -l " << name.substr(2);
    if (option.kind == ValueKind::kFile)
      out << " -r -F";
    else if (option.kind != ValueKind::kNone)
      out << " -x" << FishCandidates(option);
    out << " -d " << FishQuoted(option.help) << "\n";
  }
  for (const ArgumentSpec& positional : command.positionals) {
    const std::string values =
        positional.kind == ValueKind::kFile ? " -F" : FishCandidates(positional);
    if (!values.empty()) out << start << values << "\n";
  }
  for (const CommandSpec& sub : command.subcommands)
    out << start << " -a " << FishQuoted(sub.name) << " -d " << FishQuoted(sub.help) << "\n";
  for (const CommandSpec& sub : command.subcommands)
    WriteFishCommand(sub, program, FishAnd(condition, "__fish_seen_subcommand_from " + sub.name),
                     out);
}

void WriteFish(const CommandSpec& program, std::ostream& out) {
  out << "# fish completion for " << program.name << ", written by `" << program.name
      << " --completion fish`.\n\n"
      << "# No file names unless an option or argument takes one.\n"
      << "complete -c " << program.name << " -f\n";
  WriteFishCommand(program, program.name, "", out);
}

}  // namespace

CLI::Option* AddCompletionOption(CLI::App& app, std::string& shell) {
  return app.add_option("--completion", shell, "Write a shell completion script")
      ->check(CLI::IsMember({"bash", "zsh", "fish"}))
      ->group("");
}

int WriteCompletionScript(const CLI::App& app, const std::string& shell, std::ostream& out,
                          std::ostream& err) {
  CommandSpec program{app.get_name(), app.get_description(), {}, {}, {}};
  CollectArguments(app, program);
  if (shell == "bash")
    WriteBash(program, out);
  else if (shell == "zsh")
    WriteZsh(program, out);
  else
    WriteFish(program, out);
  if (out.flush()) return kExitSuccess;
  err << program.name << ": cannot write the completion script to standard output\n";
  return kExitFailure;
}

}  // namespace sorvina::cli
