#include "support/TranslateComponent.h"

#include "support/Translate.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QWidget>

namespace quorvel {

void TranslateMenuItem(QAction* Item) {
    if (Item == nullptr)
        return;
    if (!Item->isSeparator())
        Item->setText(TranslateText(Item->text()));
    if (QMenu* sub = Item->menu())
        TranslateMenuItem(sub);
}

void TranslateMenuItem(QMenu* Menu) {
    if (Menu == nullptr)
        return;
    Menu->setTitle(TranslateText(Menu->title()));
    for (QAction* item : Menu->actions())
        TranslateMenuItem(item);
}

namespace {

void TranslateComboBox(QComboBox* box) {
    const int selected = box->currentIndex();
    const QSignalBlocker quiet(box);
    for (int i = 0; i < box->count(); ++i)
        box->setItemText(i, TranslateText(box->itemText(i)));
    box->setCurrentIndex(selected);
}

// The caption of a component, where it has one. Window titles follow English outside
// Korean; every other caption follows the interface language.
void TranslateCaption(QObject* component) {
    if (auto* widget = qobject_cast<QWidget*>(component); widget != nullptr && widget->isWindow()) {
        const QString title = widget->windowTitle();
        const bool korean = CurrentLanguage() == QLatin1String("ko");
        widget->setWindowTitle(korean ? TranslateText(title)
                                      : TranslateText(title, QStringLiteral("en")));
    }
    if (auto* label = qobject_cast<QLabel*>(component))
        label->setText(TranslateText(label->text()));
    else if (auto* button = qobject_cast<QAbstractButton*>(component))
        button->setText(TranslateText(button->text()));
    else if (auto* group = qobject_cast<QGroupBox*>(component))
        group->setTitle(TranslateText(group->title()));
    else if (auto* action = qobject_cast<QAction*>(component);
             action != nullptr && !action->isSeparator())
        action->setText(TranslateText(action->text()));
    else if (auto* menu = qobject_cast<QMenu*>(component))
        menu->setTitle(TranslateText(menu->title()));
}

} // namespace

void TranslateComponent(QObject* Component, const QString& Language) {
    if (!Language.isEmpty())
        SetCurrentLanguage(Language);
    if (Component == nullptr)
        return;
    if (auto* box = qobject_cast<QComboBox*>(Component)) {
        TranslateComboBox(box);
        return;
    }
    if (auto* menu = qobject_cast<QMenu*>(Component))
        TranslateMenuItem(menu);
    TranslateCaption(Component);
    // Children are copied first: translating never adds or removes any, but a copy keeps
    // the walk safe should a widget rebuild its internals when its text changes.
    const QObjectList owned = Component->children();
    for (QObject* child : owned)
        TranslateComponent(child, Language);
}

} // namespace quorvel
