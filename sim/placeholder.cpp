// Placeholder so the simulator library has a source.
namespace kulve::sim {}
