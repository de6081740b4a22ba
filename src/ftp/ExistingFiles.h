#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>

#include <functional>

// What a transfer does with a file whose copy exists at its destination.
namespace ExistingFiles {

// The owner's standing choice for such files.
enum class Policy {
    SkipIdentical,  // skip a copy of the same size and time, replace any other
    Ask,            // skip a copy of the same size and time, ask about any other
    Overwrite,      // replace every copy
    Skip,           // keep every copy
    Resume,         // skip the same, continue a shorter copy, replace any other
};

// What is done with one file. Cancel only ever comes from the owner's answer.
enum class Action { Transfer, Resume, Skip, SkipIdentical, Ask, Cancel };

// One side of the comparison.
struct Facts {
    bool bExists = false;
    qint64 nSize = -1;      // -1: unknown
    QDateTime date;         // invalid: unknown
    int nPrecision = 0;     // seconds the date is exact to (0: no date)
};

// Whether two modification times agree at the precision the listing gave
// (seconds; 86400 compares the dates only; 0 or an invalid time never agrees).
bool SameTime(const QDateTime& remote, int nPrecision, const QDateTime& local);

// Same size, and the same time at the coarser of the two precisions.
bool Identical(const Facts& source, const Facts& destination);

// A shorter destination can be continued from its end.
bool Resumable(const Facts& source, const Facts& destination);

Action Decide(Policy policy, const Facts& source, const Facts& destination);

// Whether the server's side should be asked for its exact time (MDTM) before
// the comparison: its listing gave the time coarser, and the sizes agree.
bool WantsExactTime(const Facts& remote, const Facts& local);

// The server's side with the exact time where it wants it (above) and
// serverTime (MDTM; invalid when the server cannot tell) gives it.
Facts WithExactTime(Facts remote, const Facts& local, const std::function<QDateTime()>& serverTime);

// The owner's answers to a question, as the file-exists prompt gives them.
enum Answer { kOverwrite = 0, kResume = -1, kCancel = -2, kSkip = -3 };

// What an answer asks for: Resume only where resuming was offered (else Skip).
Action Answered(int nAnswer, bool bResumeAllowed);

}  // namespace ExistingFiles

// The question a folder transfer asks its owner about one file.
struct ExistingFileQuestion {
    QString sName;              // the file, as the item-skipped event would name it
    bool bUpload = false;
    ExistingFiles::Facts source, destination;
    bool bResumeAllowed = false;
};
Q_DECLARE_METATYPE(ExistingFileQuestion)
