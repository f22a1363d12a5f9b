#pragma once
// Whether the standard error stream is an interactive terminal (progress bars are drawn
// only then).
namespace zel {
bool stderrIsTerminal();
}
