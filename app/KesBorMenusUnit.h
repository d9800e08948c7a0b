#pragma once
// Pop-up menus built at run time: items that carry a name and a tag and call their handler
// with themselves, so that one handler serves a whole list of items.

#include <QString>
#include <functional>

class QAction;
class QMenu;
class QObject;

using MenuClickHandler = std::function<void(QAction& item)>;

// The tag an item was given.
int MenuItemTag(const QAction& item);

// A new item at the end of the parent menu, owned by the owner (the pop-up menu it belongs to).
QAction* AddMenuItem(QMenu& owner, QMenu& parent, const QString& name,
                     const MenuClickHandler& on_click, int tag, const QString& caption);
// A new submenu at the end of the parent menu; its item carries the name and the tag.
QMenu* AddSubMenu(QMenu& owner, QMenu& parent, const QString& name, int tag,
                  const QString& caption);
// Takes every item out of the menu, first to last, and destroys it once control returns to the
// event loop (a handler may clear the menu of the very item that called it).
void ClearMenuItems(QMenu& menu);
// The object itself when it is a menu item, else nothing.
QAction* AsMenuItem(QObject* object);
