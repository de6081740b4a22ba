#pragma once

#include <functional>

class QComboBox;
class QString;

// Makes an editable path box take a typed folder: Enter calls go with the
// text as typed (no completion from the history slips another folder in,
// and nothing is added to the list by the box itself). The box is the focus
// proxy of its text, so the key arrives at the box.
void TakeTypedPaths(QComboBox* box, std::function<void(const QString&)> go);
