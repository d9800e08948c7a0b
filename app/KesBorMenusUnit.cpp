#include "app/KesBorMenusUnit.h"

#include <QAction>
#include <QMenu>

namespace {

void NameAndTag(QAction& item, const QString& name, int tag) {
  item.setObjectName(name);
  item.setData(tag);
}

}  // namespace

int MenuItemTag(const QAction& item) {
  return item.data().toInt();
}

QAction* AddMenuItem(QMenu& owner, QMenu& parent, const QString& name,
                     const MenuClickHandler& on_click, int tag, const QString& caption) {
  auto* item = new QAction(caption, &owner);
  NameAndTag(*item, name, tag);
  if (on_click)
    QObject::connect(item, &QAction::triggered, item, [item, on_click] { on_click(*item); });
  parent.addAction(item);
  return item;
}

QMenu* AddSubMenu(QMenu& owner, QMenu& parent, const QString& name, int tag,
                  const QString& caption) {
  auto* submenu = new QMenu(caption, &owner);
  NameAndTag(*submenu->menuAction(), name, tag);
  parent.addMenu(submenu);
  return submenu;
}

void ClearMenuItems(QMenu& menu) {
  const QList<QAction*> items = menu.actions();
  for (QAction* item : items) {
    menu.removeAction(item);
    if (QMenu* submenu = item->menu()) {
      // Its items belong to the owner of the whole pop-up menu, not to the submenu.
      ClearMenuItems(*submenu);
      submenu->deleteLater();  // its own item goes with it
    } else {
      item->deleteLater();
    }
  }
}

QAction* AsMenuItem(QObject* object) {
  return qobject_cast<QAction*>(object);
}
