#include "cli/CliArgs.h"

#include <algorithm>
#include <cctype>

#include "app/AppTitle.h"
#include "cli/CliCommands.h"

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// "com3", "COM3", "Com3" -> "Com3"; the port list holds Com1 ... Com8.
std::string PortName(const std::string& text) {
  const std::string lower = Lower(text);
  if (lower.size() == 4 && lower.rfind("com", 0) == 0 && lower[3] >= '1' && lower[3] <= '8')
    return "Com" + lower.substr(3);
  throw CliUsageError{"--port takes Com1 ... Com8, not \"" + text + "\" (use --port-path for a device path)"};
}

int HandshakeIndex(const std::string& text) {
  const std::string lower = Lower(text);
  if (lower == "default") return 0;
  if (lower == "cts") return 1;
  if (lower == "none") return 2;
  throw CliUsageError{"--handshake takes Default, CTS or None, not \"" + text + "\""};
}

struct GlobalOption {
  const char* name;
  bool takesValue;
  void (*apply)(CliArgs& args, const std::string& value);
};

const GlobalOption kGlobalOptions[] = {
    {"--port", true, [](CliArgs& a, const std::string& v) { a.writers.push_back(*(a.port = PortName(v))); }},
    {"--port-path", true, [](CliArgs& a, const std::string& v) { a.writers.push_back(*(a.portPath = v)); }},
    {"--handshake", true, [](CliArgs& a, const std::string& v) { a.handshake = HandshakeIndex(v); }},
    {"--ic", true, [](CliArgs& a, const std::string& v) { a.ic = v; }},
    {"--config", true, [](CliArgs& a, const std::string& v) { a.config = v; }},
    {"--load", true, [](CliArgs& a, const std::string& v) { a.load = v; }},
    {"--qtp", true, [](CliArgs& a, const std::string& v) { a.qtp = v; }},
    {"--log", true, [](CliArgs& a, const std::string& v) { a.log = v; }},
    {"--trace", true, [](CliArgs& a, const std::string& v) { a.trace = v; }},
    {"--ledger", true, [](CliArgs& a, const std::string& v) { a.ledger = v; }},
    {"--job", true, [](CliArgs& a, const std::string& v) { a.job = v; }},
    {"--station", true, [](CliArgs& a, const std::string& v) { a.station = v; }},
    {"--serial-policy", true,
     [](CliArgs& a, const std::string& v) {
       if (v != "reuse-failed" && v != "strict")
         throw CliUsageError{"--serial-policy takes reuse-failed or strict, not \"" + v + "\""};
       a.serialPolicy = v;
     }},
    {"--yes", false, [](CliArgs& a, const std::string&) { a.yes = true; }},
    {"--json", false, [](CliArgs& a, const std::string&) { a.json = true; }},
    {"--help", false, [](CliArgs& a, const std::string&) { a.help = true; }},
    {"-h", false, [](CliArgs& a, const std::string&) { a.help = true; }},
    {"--version", false, [](CliArgs& a, const std::string&) { a.version = true; }},
};

const GlobalOption* FindGlobal(const std::string& name) {
  for (const auto& option : kGlobalOptions)
    if (name == option.name) return &option;
  return nullptr;
}

const CommandOption* FindCommandOption(const CliCommand& command, const std::string& name) {
  for (const auto& option : command.options)
    if (name == option.name) return &option;
  return nullptr;
}

// Several Writers run the commands that make or check parts, each its own.
void CheckWriters(const CliArgs& args) {
  const std::vector<std::string>& w = args.writers;
  for (std::size_t i = 0; i < w.size(); ++i)
    for (std::size_t j = 0; j < i; ++j)
      if (w[i] == w[j]) throw CliUsageError{w[i] + " is given twice"};
  const std::string name = args.command->name;
  const bool gang = name == "auto-program" || name == "force-write" || name == "blank-check" || name == "verify";
  if (w.size() > 1 && !gang)
    throw CliUsageError{name + " runs on one Writer; several ports work with auto-program, force-write, "
                               "blank-check and verify"};
}

}  // namespace

CliArgs ParseCliArgs(const std::vector<std::string>& argv) {
  CliArgs out;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < argv.size(); ++i) {
    const std::string& word = argv[i];
    const bool isOption = !optionsEnded && word.size() > 1 && word[0] == '-';
    if (!isOption) {
      if (!out.command) {
        out.command = FindCliCommand(word);
        if (!out.command) throw CliUsageError{"unknown command \"" + word + "\""};
      } else {
        out.args.push_back(word);
      }
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    // --name=value and --name value both work.
    std::string name = word;
    std::optional<std::string> inlineValue;
    if (const auto eq = word.find('='); eq != std::string::npos && word.rfind("--", 0) == 0) {
      name = word.substr(0, eq);
      inlineValue = word.substr(eq + 1);
    }
    const auto takeValue = [&]() -> std::string {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= argv.size()) throw CliUsageError{name + " needs a value"};
      return argv[++i];
    };
    if (const GlobalOption* global = FindGlobal(name)) {
      if (!global->takesValue && inlineValue) throw CliUsageError{name + " takes no value"};
      global->apply(out, global->takesValue ? takeValue() : std::string());
      continue;
    }
    const CommandOption* own = out.command ? FindCommandOption(*out.command, name) : nullptr;
    if (!own) {
      // An option of a command given before the command names it.
      for (const CliCommand& command : CliCommands())
        if (!out.command && FindCommandOption(command, name))
          throw CliUsageError{name + " belongs after the command " + command.name};
      throw CliUsageError{"unknown option " + name +
                          (out.command ? std::string(" for ") + out.command->name : std::string())};
    }
    if (!own->valueName && inlineValue) throw CliUsageError{name + " takes no value"};
    out.commandOptions[name] = own->valueName ? takeValue() : std::string();
  }

  if (out.help || out.version) return out;
  if (!out.command) throw CliUsageError{"no command given"};
  const CliCommand& c = *out.command;
  CheckWriters(out);
  const int n = static_cast<int>(out.args.size());
  if (n < c.minArgs)
    throw CliUsageError{std::string(c.name) + " needs " + (c.arguments[0] ? c.arguments : "arguments")};
  if (c.maxArgs >= 0 && n > c.maxArgs)
    throw CliUsageError{std::string("too many arguments for ") + c.name + ": \"" + out.args[c.maxArgs] + "\""};
  return out;
}

std::string CliUsage() {
  std::string text =
      "Usage: writer-cli [options] COMMAND [ARGS]\n"
      "Runs one Writer operation or file tool without a window.\n"
      "\n"
      "Options:\n"
      "  --port ComN             the Writer's port, Com1 ... Com8 (default: the port of\n"
      "                          --config or --load, else Com1)\n"
      "  --port-path PATH        the Writer's serial device itself\n"
      "                          Either may be given more than once: auto-program,\n"
      "                          force-write, blank-check and verify then run on every\n"
      "                          Writer at once, each line starting \"NAME: \", and end\n"
      "                          with a line \"summary: NAME passes N, ok N, failed N,\n"
      "                          interrupted N, serials FIRST-LAST\" per Writer\n"
      "  --handshake Default|CTS|None   flow control of the port (default CTS)\n"
      "  --ic NAME               the device, as the device list names it (default: the first)\n"
      "  --config FILE.cfg       load a configuration file, as \"Load Config File\" does\n"
      "  --load IMAGE            open an image or configuration file, as \"Open\" does\n"
      "                          (.bin .qhx .obj .hex .cfg; a .cfg beside the image comes with it)\n"
      "  --qtp FILE              load a QTP file of serial numbers, as \"Load QTP File\" does\n"
      "  --log FILE              auto-program appends a CSV line per pass to FILE\n"
      "  --trace FILE            write every byte to and from the Writer to FILE\n"
      "                          (several Writers: FILE.1, FILE.2 ... in the order given)\n"
      "  --ledger LOCATION       the part ledger: a file, or postgresql://... for a line of\n"
      "                          stations (default: $XDG_DATA_HOME/qel-writer/ledger.sqlite)\n"
      "  --job NAME              the ledger's job (default: the image's name, e.g. example)\n"
      "  --station NAME          this station in the ledger (default: the host name)\n"
      "  --serial-policy reuse-failed|strict   for a new job: whether the number of a part\n"
      "                          that failed before its data was written goes to the next\n"
      "                          part (reuse-failed, the default) or is used up (strict)\n"
      "  --yes                   answer questions with Ignore / Yes instead of Abort / No\n"
      "  --json                  one JSON object per operation (per pass) on standard output,\n"
      "                          one per line, instead of the window's lines\n"
      "  --help, --version\n"
      "\n"
      "Commands:\n";
  for (const CliCommand& c : CliCommands()) {
    std::string synopsis = std::string("  ") + c.name;
    if (c.arguments[0]) synopsis += std::string(" ") + c.arguments;
    if (synopsis.size() < 34) synopsis.resize(34, ' ');
    else synopsis += "\n" + std::string(34, ' ');
    text += synopsis + c.summary + "\n";
  }
  text +=
      "\n"
      "An operation prints the lines of its window when it ends; failures start with\n"
      "\"error: \". Commands that need no Writer never open the port.\n"
      "\n"
      "auto-program and force-write record every pass in the part ledger, which gives\n"
      "the serial numbers: a number is never stamped twice, across runs and stations.\n"
      "\n"
      "Exit status: 0 when the operation succeeded, 1 when the Writer or the IC gave\n"
      "another outcome or the ledger was lost mid-batch, 2 for a usage, file, port or\n"
      "ledger error (a job used up, unknown or set up otherwise), before any byte is sent.\n"
      "With several Writers (or --wait-for-part): 0 when every pass of every Writer\n"
      "succeeded, 1 when any did not or a port could not be opened, 2 for a usage,\n"
      "file or ledger error.\n"
      "\n"
      "auto-program --wait-for-part starts a pass when a part is seated and goes on\n"
      "after failed passes; the first Ctrl-C (or SIGTERM) lets the running passes\n"
      "end, the second stops them at once.\n";
  return text;
}

std::string CliVersion() {
  std::string version = kAppVersion;  // " V2.63"
  const auto v = version.find('V');
  return "writer-cli " + (v == std::string::npos ? version : version.substr(v + 1));
}
