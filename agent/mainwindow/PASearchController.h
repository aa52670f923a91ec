#pragma once

#include "core/PAApplication.h"

#include <QLineEdit>
#include <QObject>
#include <QPointer>
#include <QString>

class PAController;

// The apps view's search: the text typed into the search field is found in
// each managed app's display name, case ignored, and the views draw the part
// found highlighted. Every search recomputes every name, so a new text
// replaces the previous highlight and an empty one removes it.
class PASearchController : public QObject
{
    Q_OBJECT

public:
    explicit PASearchController(QObject* parent = nullptr);
    ~PASearchController() override;

    // Outlets, set by the main window.
    QPointer<PAController> palisorcontroller;
    QPointer<QLineEdit> searchField;

    // Action of the search field: the search runs as a barrier item of
    // synchronizedQueue over the main window's apps as they are then. A
    // sender other than searchField changes nothing.
    void doSearch(QObject* sender);

    // The search text as names are compared with it: fully case-folded, so
    // that letters whose folding is longer ("ß" is "ss") compare as it.
    static QString foldedSearchText(const QString& text);
    // Where `foldedText` first occurs in `name`, both compared case-folded, as
    // a range of the name's own code units, widened to whole characters; an
    // empty range when it does not occur or the text is empty.
    static PAApplication::TextRange matchRange(const QString& name, const QString& foldedText);
};
