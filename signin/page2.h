#pragma once
// The sign-in page: subscriber or evaluating user, username and password, and the link to the
// subscription details. It checks nothing; it keeps IsSubscriber, UserName and UserPassword current
// for the Next handler and the collection run.
#include <array>
#include <vector>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>

#include "signin/values.h"
#include "platform/shell/shell.h"
#include "platform/window/window.h"
#include "wizard/page_form.h"

namespace signin {

class Page2 : public wizard::CPageForm {
public:
    Page2(platform::WindowSystem& windows, platform::Shell& shell, SignInValues values);

    // Event handlers; `index` is the option button's: 0 "Already Subscribed", 1 "Evaluating".
    void Option1_Click(int index);
    void Option1_Validate(int index);  // the focus leaves option button `index`
    void Text1_Change();
    void Text2_Change();
    void SubscribeLink_Click();

    // Controls (null while the form is not loaded).
    QLabel* Label1(int index = 0) const { return index == 0 ? label1_.data() : nullptr; }
    QLabel* Label2() const { return label2_; }
    QLabel* Label3() const { return label3_; }
    QLineEdit* Text1() const { return text1_; }
    QLineEdit* Text2() const { return text2_; }
    QGroupBox* Subscriber() const { return subscriber_; }
    QRadioButton* Option1(int index) const;
    QLabel* SubscribeLink() const { return subscribeLink_; }
    // The page's controls in tab order (tab index 0 first).
    std::vector<QWidget*> TabOrder() const;

protected:
    void CreateControls(QWidget& form) override;
    void FormUnload() override;

private:
    void CreateTextBoxes(QWidget& form);
    void CreateOptions(QWidget& form);  // the frame and its two option buttons
    void ConnectHandlers(QWidget& form);
    void SetBoxesEnabled(bool enabled);
    void RecordSelection();

    platform::Shell& shell_;
    SignInValues values_;

    QPointer<QLabel> label1_, label2_, label3_, subscribeLink_;
    QPointer<QLineEdit> text1_, text2_;
    QPointer<QGroupBox> subscriber_;
    std::array<QPointer<QRadioButton>, 2> option1_;
};

}  // namespace signin
