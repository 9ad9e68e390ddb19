#pragma once

// What most test files start with: GoogleTest and its matchers, the POSIX calls that set files
// up, a temporary tree and the scans of it.
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "tests/support/scan_helpers.h"
#include "tests/support/temp_tree.h"

namespace geminor {
using test::readFile;
using test::TempTree;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
}  // namespace geminor
