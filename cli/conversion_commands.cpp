#include "cli/commands.h"

namespace zel::cli {

void addConversionCommands(CLI::App& /*app*/, int& /*exitStatus*/) {}

}  // namespace zel::cli
