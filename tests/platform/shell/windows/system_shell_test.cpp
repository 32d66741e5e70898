// The default handler's hand-off: what cannot be opened is a failure, not silence.
#include <string>

#include <gtest/gtest.h>

#include "platform/common/errors.h"
#include "platform/shell/shell.h"

namespace {

TEST(Shell, WhatCannotBeOpenedIsReportedWithTheReason) {
    auto shell = platform::makeSystemShell();
    EXPECT_THROW(shell->Execute("", "", nullptr), platform::PlatformError);
    try {
        shell->Execute("C:\\no such folder\\profile.vantrel-none", "", nullptr);
        FAIL() << "a missing file was handed on";
    } catch (const platform::PlatformError& e) {
        EXPECT_NE(std::string(e.what()).find("profile.vantrel-none"), std::string::npos) << e.what();
    }
    EXPECT_THROW(shell->Execute("C:\\windows\\win.ini", "no-such-verb", nullptr), platform::PlatformError);
}

}  // namespace
