// Lets a desktop session know when the GoogleTest test using it has failed.

#include "DesktopSession.h"

#include <gtest/gtest.h>

namespace {

const bool Registered = [] {
    quorvel::test::TDesktopSession::FailureCheck = [] { return testing::Test::HasFailure(); };
    return true;
}();

} // namespace
