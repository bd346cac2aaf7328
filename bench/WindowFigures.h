#pragma once

#include <QString>
#include <functional>

// The editor window's figures, on an offscreen window: expanding a folder of
// 10,000 children, collapsing 20,000 shown rows, and painting a list of
// 20,000 rows (against a list of 20).
namespace zpc::bench {

void windowFigures(int argc, char** argv, int runs, const std::function<bool(const char*)>& wanted);

}  // namespace zpc::bench
