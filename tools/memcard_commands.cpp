// Memory-card commands are added by the memory-card family.
#include "tools/command.h"
namespace kulve::tool {
void AddMemoryCardCommands(CommandList&) {}
}  // namespace kulve::tool

#include "tools/demo_steps.h"
namespace kulve::tool {
void RunMemoryCardDemo(sim::Simulator&) { Say("(memory cards are not in this build yet)"); }
}  // namespace kulve::tool
