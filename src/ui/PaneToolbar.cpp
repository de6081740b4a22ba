#include "ui/PaneToolbar.h"

#include "ui/FilePane.h"

#include <QAction>
#include <QToolBar>

void BuildPaneToolbar(QToolBar* toolbar, FilePane* list, const QList<PaneButton>& first, const QList<PaneButton>& last)
{
    const PaneButton separator{nullptr, QStyle::SP_CustomBase, {}};
    QList<PaneButton> buttons = first;
    buttons += {
        separator,
        {"View Large Icons", QStyle::SP_FileDialogContentsView, [list] { list->SetView(FilePane::LargeIcons); }},
        {"View Small Icons", QStyle::SP_FileDialogInfoView, [list] { list->SetView(FilePane::SmallIcons); }},
        {"View List", QStyle::SP_FileDialogListView, [list] { list->SetView(FilePane::List); }},
        {"View Details", QStyle::SP_FileDialogDetailedView, [list] { list->SetView(FilePane::Details); }},
        separator,
    };
    buttons += last;
    for (const PaneButton& button : buttons) {
        if (!button.tip) {
            toolbar->addSeparator();
            continue;
        }
        QAction* action = toolbar->addAction(toolbar->style()->standardIcon(button.icon), QLatin1String(button.tip));
        action->setToolTip(QLatin1String(button.tip));
        if (QWidget* widget = toolbar->widgetForAction(action)) widget->setAccessibleName(QLatin1String(button.tip));
        if (button.kept) *button.kept = action;
        QObject::connect(action, &QAction::triggered, list, button.fn);
    }
}
