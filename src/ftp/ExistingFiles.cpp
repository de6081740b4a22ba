#include "ftp/ExistingFiles.h"

namespace ExistingFiles {

namespace {
constexpr int kDay = 86400;
}

bool SameTime(const QDateTime& remote, int nPrecision, const QDateTime& local)
{
    if (nPrecision <= 0 || !remote.isValid() || !local.isValid()) return false;
    if (nPrecision >= kDay) return remote.toLocalTime().date() == local.toLocalTime().date();
    // Floor division, so that times before 1970 truncate the same way.
    const auto truncate = [nPrecision](qint64 n) { return n >= 0 ? n / nPrecision : -((-n + nPrecision - 1) / nPrecision); };
    return truncate(remote.toSecsSinceEpoch()) == truncate(local.toSecsSinceEpoch());
}

bool Identical(const Facts& source, const Facts& destination)
{
    if (!source.bExists || !destination.bExists || source.nSize < 0 || source.nSize != destination.nSize) return false;
    // The remote side's precision decides; a local time is exact.
    const bool bSourceCoarser = source.nPrecision >= destination.nPrecision;
    return bSourceCoarser ? SameTime(source.date, source.nPrecision, destination.date)
                          : SameTime(destination.date, destination.nPrecision, source.date);
}

bool Resumable(const Facts& source, const Facts& destination)
{
    return destination.bExists && source.nSize >= 0 && destination.nSize >= 0 && destination.nSize < source.nSize;
}

bool WantsExactTime(const Facts& remote, const Facts& local)
{
    return remote.bExists && local.bExists && remote.nSize >= 0 && remote.nSize == local.nSize && remote.nPrecision != 1;
}

Facts WithExactTime(Facts remote, const Facts& local, const std::function<QDateTime()>& serverTime)
{
    if (!WantsExactTime(remote, local)) return remote;
    const QDateTime exact = serverTime();
    if (exact.isValid()) {
        remote.date = exact;
        remote.nPrecision = 1;
    }
    return remote;
}

Action Answered(int nAnswer, bool bResumeAllowed)
{
    switch (nAnswer) {
    case kOverwrite: return Action::Transfer;
    case kResume: return bResumeAllowed ? Action::Resume : Action::Skip;
    case kCancel: return Action::Cancel;
    default: return Action::Skip;
    }
}

Action Decide(Policy policy, const Facts& source, const Facts& destination)
{
    if (!destination.bExists) return Action::Transfer;
    if (policy == Policy::Overwrite) return Action::Transfer;
    if (Identical(source, destination)) return Action::SkipIdentical;
    switch (policy) {
    case Policy::Skip: return Action::Skip;
    case Policy::Ask: return Action::Ask;
    case Policy::Resume: return Resumable(source, destination) ? Action::Resume : Action::Transfer;
    default: return Action::Transfer;
    }
}

}  // namespace ExistingFiles
