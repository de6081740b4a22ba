#pragma once

#include <QList>
#include <QStyle>

#include <functional>

class FilePane;
class QAction;
class QToolBar;

// One button of a pane's toolbar: its tool tip (also what a screen reader
// says), its picture and what it does; kept, when set, receives the action.
// A null tip stands for a separator.
struct PaneButton {
    const char* tip;
    QStyle::StandardPixmap icon;
    std::function<void()> fn;
    QAction** kept = nullptr;
};

// A file pane's toolbar: the pane's own buttons first, then the four view
// buttons of list between separators, then the pane's buttons last.
void BuildPaneToolbar(QToolBar* toolbar, FilePane* list, const QList<PaneButton>& first, const QList<PaneButton>& last);
