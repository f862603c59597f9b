#include <ostream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/user_preferences.h"
#include "errors/exception.h"

namespace {

CPrefValue& Value(CPreferences& preferences, const std::string& key) {
  CPrefValue* value = preferences.Find(key);
  if (!value) throw CUsageError("no preference is called '" + key + "'");
  return *value;
}

}  // namespace

int RunPreferencesCommand(std::span<const std::string> arguments, std::ostream& out,
                          std::ostream&) {
  const CArguments args(arguments, {{"--list"}, {"--get", true}, {"--set", true}, {"--reset"}});
  const int actions =
      args.Has("--list") + args.Has("--get") + args.Has("--set") + args.Has("--reset");
  const size_t values = args.Has("--set") ? 1 : 0;
  if (actions != 1 || args.Positionals().size() != values)
    throw CUsageError("expected --list, --get KEY, --set KEY VALUE or --reset");

  CUserPreferences user;
  CPreferences& preferences = user.Preferences();
  if (args.Has("--list")) {
    for (const CPrefValue* value : preferences.Values())
      out << Formatted("%-30s %-26s %4u  %s\n", value->Key(), value->TypeName(), value->Groups(),
                       value->Text());
  } else if (const auto key = args.Value("--get")) {
    out << Value(preferences, *key).Text() << "\n";
  } else if (const auto key = args.Value("--set")) {
    CPrefValue& value = Value(preferences, *key);
    const std::string& text = args.Positionals().front();
    if (!value.SetFromText(text))
      throw CUsageError("invalid value for " + *key + " (" + value.TypeName() + "): '" + text +
                        "'");
    preferences.Save(CPreferences::kSaveAll);
  } else {
    preferences.RestoreFactoryDefaults();
    preferences.Save(CPreferences::kSaveAll, true);
  }
  return kExitSuccess;
}
