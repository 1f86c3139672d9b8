#pragma once
// The context menu of the shell box and the shell list: one entry per verb, its first
// letter in capitals.

#include <QPoint>
#include <string>
#include <vector>

class QWidget;

// Shows the menu at Pos (global coordinates) and returns the verb chosen, or an empty string
// when the menu was dismissed or there are no verbs.
std::string ExecVerbMenu(QWidget* Parent, const std::vector<std::string>& Verbs, const QPoint& Pos);
