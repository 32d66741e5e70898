// The window's paints during the collection run: held to one a frame interval, yet whatever is
// painted shows the progress line's latest text, and the final text is always painted.
#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>

#include "tests/wizard/window/wizard_fixture.h"
#include "wizard/paint_pacer.h"

namespace testing_pages {
namespace {

using ::testing::ElementsAre;

// The label's text as each of its paints found it.
class PaintLog : public QObject {
public:
    explicit PaintLog(QLabel& label) : label_(label) { label.installEventFilter(this); }
    std::vector<std::string> painted;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted.push_back(label_.text().toStdString());
        return false;
    }

private:
    QLabel& label_;
};

void ShowTexts(QLabel& label, int from, int to) {
    for (int i = from; i <= to; ++i) {
        label.setText(QString::number(i));
        QCoreApplication::processEvents();
    }
}

TEST(PaintPacer, HeldPaintsGoOutAsOneWithTheLatestText) {
    QWidget window;
    auto* label = new QLabel("start", &window);
    window.show();
    QCoreApplication::processEvents();
    PaintLog log(*label);
    {
        wizard::PaintPacer pacer(window, std::chrono::hours(1));
        ShowTexts(*label, 1, 9);
        pacer.Tick();  // not due: the first paint went out within the hour
        QCoreApplication::processEvents();
        EXPECT_THAT(log.painted, ElementsAre("1"));
    }
    QCoreApplication::processEvents();
    EXPECT_THAT(log.painted, ElementsAre("1", "9"));
}

TEST_F(WizardWindowTest, TheRunsFinalTextIsPaintedAndEveryPaintShowsTheTextOfItsTime) {
    for (int i = 0; i < 4; ++i) AddPage();
    std::vector<std::string> set{"start"};
    std::unique_ptr<PaintLog> log;
    wizard.SetAuditRoutine([&](wizard::CWizard& w) {
        auto* line = new QLabel("start", w.CurrentPageForm());
        line->setObjectName("Label2");
        line->show();
        log = std::make_unique<PaintLog>(*line);
        for (int i = 0; i < 300; ++i) {
            QCoreApplication::processEvents();  // the run's yield
            set.push_back("item " + std::to_string(i));
            ASSERT_TRUE(w.SetPageLabelText("Label2", set.back()));
        }
    });
    wizard.Start();
    wizard.StepTo(3.0);
    ASSERT_EQ(wizard.CurrentStep(), 3);
    QCoreApplication::processEvents();
    ASSERT_TRUE(log);
    ASSERT_FALSE(log->painted.empty());
    EXPECT_EQ(log->painted.back(), "item 299");
    // Progress moves forward: each paint shows a text set later than the one before.
    auto at = set.begin();
    for (const std::string& text : log->painted) {
        at = std::find(at, set.end(), text);
        ASSERT_NE(at, set.end()) << text;
    }
}

}  // namespace
}  // namespace testing_pages
