#include "signin/page2.h"

#include <functional>
#include <utility>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProxyStyle>
#include <QRadioButton>

#include "client/service.h"
#include "signin/texts.h"
#include "wizard/controls.h"

namespace signin {
namespace {

// The colour value 2 (red 2, green 0, blue 0) that the labels take while the boxes are disabled.
const QColor kDisabledLabelColour(2, 0, 0);
const QColor kLinkColour(0, 0, 255);

// An option button: a click selects it and never clears it; clearing is the page's business.
class OptionButton : public QRadioButton {
    // A class name of its own, so that accessibility asks our factory before Qt's radio button's.
    Q_OBJECT

public:
    OptionButton(const QString& text, QWidget* parent) : QRadioButton(text, parent) { setAutoExclusive(false); }

protected:
    void nextCheckState() override { setChecked(true); }
};

// Qt reports a radio button that is not auto-exclusive as a check box; the page's buttons are
// exclusive all the same (the click handler clears the other), so they read as radio buttons,
// with their checked state and a press that clicks them.
class OptionButtonAccessible : public QAccessibleWidget {
public:
    explicit OptionButtonAccessible(OptionButton* button) : QAccessibleWidget(button, QAccessible::RadioButton) {}

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = Button()->isChecked();
        return state;
    }
    QString text(QAccessible::Text t) const override {
        QString text = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && text.isEmpty()) text = Button()->text().remove(QLatin1Char('&'));
        return text;
    }
    QStringList actionNames() const override {
        QStringList names = QAccessibleWidget::actionNames();
        if (Button()->isEnabled()) names.prepend(pressAction());
        return names;
    }
    void doAction(const QString& action) override {
        if (action == pressAction() || action == toggleAction())
            Button()->click();
        else
            QAccessibleWidget::doAction(action);
    }

private:
    QRadioButton* Button() const { return static_cast<QRadioButton*>(widget()); }
};

QAccessibleInterface* OptionButtonAccessibility(const QString&, QObject* object) {
    if (auto* button = dynamic_cast<OptionButton*>(object)) return new OptionButtonAccessible(button);
    return nullptr;
}

// Every character of the password box shown as "*", whatever the style's own choice.
class PasswordStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter) return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// Hands events of the watched controls to a handler; never consumes them.
class EventHook : public QObject {
public:
    EventHook(QObject* parent, std::function<void(QObject*, QEvent*)> handler)
        : QObject(parent), handler_(std::move(handler)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        handler_(watched, event);
        return false;
    }

private:
    std::function<void(QObject*, QEvent*)> handler_;
};

void SetTextColour(QLabel* label, const QColor& colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

}  // namespace

Page2::Page2(platform::WindowSystem& windows, platform::Shell& shell, SignInValues values)
    : CPageForm(windows), shell_(shell), values_(values) {
    static const bool installed = (QAccessible::installFactory(&OptionButtonAccessibility), true);
    (void)installed;
}

QRadioButton* Page2::Option1(int index) const {
    if (index < 0 || index > 1) return nullptr;
    return option1_[static_cast<std::size_t>(index)];
}

std::vector<QWidget*> Page2::TabOrder() const {
    return {label1_, label2_, label3_, text1_, text2_, subscriber_, option1_[0], option1_[1], subscribeLink_};
}

void Page2::CreateControls(QWidget& form) {
    form.setObjectName("Page2");

    label1_ = wizard::MakeLabel(form, "Label1",
                                QString::fromUtf8(texts::kIntroLead) + QString::fromUtf8(texts::kIntroOption) +
                                    QString::fromUtf8(texts::kIntroTail),
                                Twips(120, 120, 4155, 975));
    label2_ = wizard::MakeLabel(form, "Label2", QString::fromUtf8(texts::kUsername), Twips(120, 2040, 1335, 255),
                                wizard::Wrap::None);
    label3_ = wizard::MakeLabel(form, "Label3", QString::fromUtf8(texts::kPassword), Twips(120, 2520, 1335, 255),
                                wizard::Wrap::None);

    CreateTextBoxes(form);
    CreateOptions(form);

    subscribeLink_ = wizard::MakeLabel(form, "SubscribeLink", QString::fromUtf8(texts::kSubscribeNow),
                                       Twips(1560, 3000, 1215, 255), wizard::Wrap::None);
    SetTextColour(subscribeLink_, kLinkColour);
    subscribeLink_->setCursor(Qt::PointingHandCursor);

    const std::vector<QWidget*> order = TabOrder();
    for (std::size_t i = 0; i + 1 < order.size(); ++i) QWidget::setTabOrder(order[i], order[i + 1]);

    SetBoxesEnabled(true);

    ConnectHandlers(form);
    RecordSelection();  // the selection holds from the first load on
}

void Page2::CreateTextBoxes(QWidget& form) {
    text1_ = new QLineEdit(&form);
    text1_->setObjectName("Text1");
    text1_->setGeometry(Twips(960, 1920, 3135, 375));
    text2_ = new QLineEdit(&form);
    text2_->setObjectName("Text2");
    text2_->setGeometry(Twips(960, 2400, 3135, 375));
    text2_->setEchoMode(QLineEdit::Password);
    // Parented to the box, so it goes with it; the box lets go of a style that is destroyed.
    auto* passwordStyle = new PasswordStyle;
    passwordStyle->setParent(text2_);
    text2_->setStyle(passwordStyle);
}

void Page2::CreateOptions(QWidget& form) {
    subscriber_ = new QGroupBox(&form);
    subscriber_->setObjectName("Subscriber");
    subscriber_->setGeometry(Twips(120, 1080, 4215, 615));

    // The two buttons sit in different containers, so nothing makes them exclusive but the
    // click handler; the second lies over the frame's row.
    option1_[0] = new OptionButton(QString::fromUtf8(texts::kAlreadySubscribed), subscriber_);
    option1_[0]->setObjectName("Option1");
    option1_[0]->setGeometry(Twips(120, 240, 1815, 255));
    option1_[0]->setChecked(true);
    option1_[1] = new OptionButton(QString::fromUtf8(texts::kEvaluating), &form);
    option1_[1]->setObjectName("Option1_1");
    option1_[1]->setGeometry(Twips(2400, 1320, 1815, 255));
    option1_[1]->raise();
}

void Page2::ConnectHandlers(QWidget& form) {
    for (int i = 0; i < 2; ++i)
        QObject::connect(option1_[static_cast<std::size_t>(i)], &QRadioButton::clicked, &form,
                         [this, i] { Option1_Click(i); });
    QObject::connect(text1_, &QLineEdit::textChanged, &form, [this] { Text1_Change(); });
    QObject::connect(text2_, &QLineEdit::textChanged, &form, [this] { Text2_Change(); });

    auto* hook = new EventHook(&form, [this](QObject* watched, QEvent* event) {
        if (event->type() == QEvent::FocusOut) {
            // Only a move of the focus to another control validates, not the window losing it.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return;
            for (int i = 0; i < 2; ++i)
                if (watched == option1_[static_cast<std::size_t>(i)]) Option1_Validate(i);
        } else if (event->type() == QEvent::MouseButtonRelease && watched == subscribeLink_) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton && subscribeLink_->rect().contains(mouse->position().toPoint()))
                SubscribeLink_Click();
        }
    });
    option1_[0]->installEventFilter(hook);
    option1_[1]->installEventFilter(hook);
    subscribeLink_->installEventFilter(hook);
}

void Page2::SetBoxesEnabled(bool enabled) {
    text1_->setEnabled(enabled);
    text2_->setEnabled(enabled);
    for (QLabel* label : {label2_.data(), label3_.data()})
        SetTextColour(label, enabled ? QApplication::palette(label).color(QPalette::ButtonText)
                                     : kDisabledLabelColour);
}

void Page2::RecordSelection() { values_.IsSubscriber = option1_[0]->isChecked(); }

void Page2::Option1_Click(int index) {
    if (!Form()) return;
    const bool subscriber = index == 0;
    SetBoxesEnabled(subscriber);
    option1_[0]->setChecked(subscriber);
    option1_[1]->setChecked(!subscriber);
    RecordSelection();
}

void Page2::Option1_Validate(int index) {
    if (!Form()) return;
    // Follows the button that lost the focus, not the selection.
    SetBoxesEnabled(index == 0);
}

void Page2::Text1_Change() {
    if (text1_) values_.UserName = text1_->text().toStdString();
}

void Page2::Text2_Change() {
    if (text2_) values_.UserPassword = text2_->text().toStdString();
}

void Page2::SubscribeLink_Click() {
    service::OpenInBrowser(shell_, service::SiteAddressWithPath(texts::kSubscriptionPath), "", nullptr);
}

void Page2::FormUnload() { RecordSelection(); }

}  // namespace signin

#include "page2.moc"
