// SPDX-License-Identifier: MIT
#include "tools/results.h"

#include "kulve32.h"

namespace kulve::tool {

std::string DescribeResult(int result) { return ResultText(result); }

}  // namespace kulve::tool
