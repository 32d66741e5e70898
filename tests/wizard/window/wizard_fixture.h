#pragma once
// A real wizard on the fake platform (1024 x 768 screen, 15 twips per pixel), with recording pages.
#include <memory>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/fakes.h"
#include "tests/wizard/window/test_page.h"
#include "wizard/cwizard.h"

namespace testing_pages {

class WizardWindowTest : public ::testing::Test {
protected:
    void SetUp() override { wizard.SetClientHandle(&controller); }
    void TearDown() override { wizard.close(); }

    std::shared_ptr<TestPage> AddPage(int widthPx = 299, int heightPx = 226) {
        auto page = std::make_shared<TestPage>(fake.windows, widthPx, heightPx);
        wizard.AddPage(page, {});
        return page;
    }

    fakes::TestPlatform fake;
    QWidget origin;  // a parent for page windows to come from and go back to; outlives the wizard
    wizard::CWizard wizard{fake.get()};
    RecordingController controller{wizard};
};

}  // namespace testing_pages
