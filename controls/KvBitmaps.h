#pragma once
// The picture library: numbered pictures 1..GetMaxBmpID() and the named check-mark pictures
// ("CHECK", "UNCHECK", "CHECKED", "UNCHECKED", "GRAYED"), kept in the controls' Qt resource.
#include <QPixmap>
#include <QString>

int GetMaxBmpID();
// Fills the picture with number index; false when there is no such picture.
bool LoadBmp(int index, QPixmap& bitmap);
// A named picture of the module's resources; a null pixmap when unknown.
QPixmap LoadResourceBmp(const QString& name);
