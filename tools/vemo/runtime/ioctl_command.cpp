// vemo ioctl: one IO-control command, as a runtime script runs it, with
// the runtime variables it reads and sets.
#include <iostream>
#include <memory>
#include <vector>

#include "commands.h"
#include "config/DevConst.h"
#include "runtime/connection_options.h"
#include "runtime/value_text.h"

namespace vemo {

namespace {

struct IoctlSettings {
    runtime::ConnectionOptions connection;
    std::string command;
    std::vector<std::string> variables;
};

const char* typeName(DATATYPE type)
{
    switch (type) {
        case DATATYPE_INT:
            return "int";
        case DATATYPE_DOUBLE:
            return "double";
        case DATATYPE_STRING:
            return "string";
        default:
            return "?";
    }
}

// The driver answers an unknown keyword with the previous status, which
// looks like success: say so before running it. False for such a keyword.
bool checkKeyword(const std::string& command)
{
    size_t open = command.find('(');
    if (open == std::string::npos) return true;
    std::string keyword = command.substr(0, open);
    keyword.erase(0, keyword.find_first_not_of(" \t"));
    keyword.erase(keyword.find_last_not_of(" \t") + 1);
    std::string keywords;
    for (const CString& k : IOCTRL_STR_PROPERTYNAME) {
        if (CString(keyword.c_str()).CompareNoCase(k.GetString()) == 0) return true;
        keywords += (keywords.empty() ? "" : ", ") + k.str();
    }
    std::cerr << "note: \"" << keyword
              << "\" is not a command keyword, the driver does nothing with it (keywords: " << keywords << ")\n";
    return false;
}

void printVariables(const runtime::Database& db)
{
    if (db.variables().empty()) {
        std::cout << "  (no variables: declare the ones the command names with --var NAME=VALUE)\n";
        return;
    }
    for (const auto& [name, value] : db.variables()) {
        std::cout << "  " << runtime::padRight(name, 16) << " " << runtime::padRight(typeName(value.type), 7)
                  << runtime::formatValue(value) << "\n";
    }
}

int runIoctl(const IoctlSettings& settings)
{
    // Parse the variables before connecting: a typing mistake costs nothing.
    std::vector<std::pair<std::string, runtime::Value>> variables;
    for (const std::string& setting : settings.variables) variables.push_back(runtime::parseVariable(setting));

    std::string source;
    std::unique_ptr<runtime::Session> session = settings.connection.open(source);
    for (const auto& [name, value] : variables) session->database().setVariable(name, value);

    const bool known = checkKeyword(settings.command);
    std::cout << "command " << settings.command << "  (" << session->channel().describe() << ")\n";
    const int result = session->device().ioctl(settings.command);
    std::cout << "result  " << runtime::resultText(result) << "\n";
    std::cout << "variables after the command:\n";
    printVariables(session->database());
    return result == 0 && known ? 0 : 1;
}

}  // namespace

void addIoctlCommand(CLI::App& app)
{
    auto settings = std::make_shared<IoctlSettings>();
    CLI::App* ioctl =
        app.add_subcommand("ioctl", "run an IO-control command (DevIOCtrl), e.g. \"READ(D,100,DUB=V1=St)\"");
    ioctl->add_option("COMMAND", settings->command, "the command text, quoted")->required();
    ioctl->add_option("--var", settings->variables,
                      "runtime variable NAME=VALUE: int if VALUE is an integer, double if it has a point, "
                      "else (or when quoted) string; repeat for each variable the command names");
    settings->connection.addTo(*ioctl);
    ioctl->callback([settings] { runtime::runGuarded("ioctl", [&] { return runIoctl(*settings); }); });
}

}  // namespace vemo
