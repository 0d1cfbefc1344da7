// The program's table of user messages (the hidden list box ListBoxSWMsg holds these items).
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

#include "browser/media/message_entries.h"

namespace lumicart {

// The items of the table, entry 0 first.
const QStringList& messageTable();

// The text of an entry; with an argument the entry is a format whose "%s" is replaced by the
// argument (the argument itself is not scanned for formats). nullopt for a number outside the
// table.
std::optional<QString> messageText(const QStringList& table, int entry,
                                   const std::optional<QString>& argument = std::nullopt);

} // namespace lumicart
