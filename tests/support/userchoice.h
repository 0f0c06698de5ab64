#pragma once
// A user's choice in a drop-down list, as the keyboard makes it: open the
// list, move to the entry, press Enter. Qt reports it as the list's activated
// signal even when the entry is the one already selected, which a selection
// set by the program never is.

#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>

inline void ChooseListItem(QComboBox *list, int index) {
    list->showPopup();
    QAbstractItemView *view = list->view();
    view->setCurrentIndex(view->model()->index(index, list->modelColumn(), list->rootModelIndex()));
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &release);
    list->hidePopup();
}
