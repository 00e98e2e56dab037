#pragma once

#include <QString>
#include <QStringView>

namespace plim {

// Every text on screen that names a key goes through here, so the keys read as this desktop
// names them: the command and control symbols become "Ctrl+", the option symbol "Alt+", the
// shift symbol "Shift+" ("⌘⇧V clip" reads "Ctrl+Shift+V clip"). A modifier with no key after
// it loses the "+" ("hold ⌘" reads "hold Ctrl"). Arrows, ↩ ⇥ ⌫ and "esc" are left as they are.
QString keyText(QStringView described);

} // namespace plim
