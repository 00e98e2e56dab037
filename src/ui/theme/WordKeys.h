#pragma once

#include <QtCore/qglobal.h>

QT_BEGIN_NAMESPACE
class QKeyEvent;
class QObject;
QT_END_NAMESPACE

namespace plim::WordKeys {

// Alt+← and Alt+→ move the insertion point by a word, with Shift they select, in every text field
// of the program (Ctrl with the arrows is the drawer's nudge there, so Alt stands in for it).

// Moves or selects by a word when `key` is one of those keys and `field` a text field; whether it did.
bool moveByWord(QObject* field, const QKeyEvent& key);

// Lets every text field of the program take the keys; once is enough, more does no harm. A field
// with the property `ownKeysProperty` set reads its keys itself (and calls `moveByWord`).
void install();
inline constexpr char ownKeysProperty[] = "plimOwnWordKeys";

} // namespace plim::WordKeys
