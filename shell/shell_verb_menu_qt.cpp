#include "shell/shell_verb_menu_qt.h"

#include <QAction>
#include <QMenu>
#include <QString>

std::string ExecVerbMenu(QWidget* Parent, const std::vector<std::string>& Verbs, const QPoint& Pos) {
  if (Verbs.empty()) return {};
  QMenu menu(Parent);
  for (const std::string& verb : Verbs) {
    QString label = QString::fromStdString(verb);
    label[0] = label[0].toUpper();
    menu.addAction(label)->setData(QString::fromStdString(verb));
  }
  QAction* chosen = menu.exec(Pos);
  return chosen ? chosen->data().toString().toStdString() : std::string();
}
