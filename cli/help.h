// What tessaline-cli says about itself: the overview of its commands, each command's full help
// (usage, every option with its unit and default, examples) and its short usage for a mistake.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// "Usage: ..." with the commands and the options every command takes.
std::string OverviewHelp();
// The full help of a command; nothing for a name that is no command.
std::optional<std::string> CommandHelp(std::string_view command);
// The command's usage line, and where its full help is.
std::string ShortUsage(std::string_view command);
