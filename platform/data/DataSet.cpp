#include "DataSet.h"

#include "DataSource.h"
#include "rtl/Exceptions.h"

#include <algorithm>
#include <utility>

namespace {
// The changes in progress on this thread (how deeply they nest) and the data
// sets whose links have news, in the order the news arose.
struct TPendingNotices {
    int depth = 0;
    std::vector<TDataSet*> dataSets;
};
thread_local TPendingNotices pending;
} // namespace

TDataSet::TDataSet(TComponent* owner) : TComponent(owner) {}

TDataSet::~TDataSet()
{
    if (linkNotices_ != 0)
        std::erase(pending.dataSets, this);
    for (TDataSource* source : QList<TDataSource*>(sources_))
        source->SetDataSet(nullptr);
    for (TField* f : fields_)
        f->dataSet_ = nullptr;
}

// --- fields ------------------------------------------------------------------

void TDataSet::attachField(TField* field) { fields_.append(field); }
void TDataSet::detachField(TField* field) { fields_.removeOne(field); dynamicFields_.removeOne(field); }

TField* TDataSet::FindField(const QString& name) const
{
    // Grids ask for their fields while painting every cell, by the name as
    // written: an exact match is looked for first, without folding letters.
    for (TField* f : fields_)
        if (f->FieldName() == name)
            return f;
    for (TField* f : fields_)
        if (f->FieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f;
    return nullptr;
}

TField* TDataSet::FieldByName(const QString& name) const
{
    TField* f = FindField(name);
    if (!f)
        throw EDatabaseError(QStringLiteral("%1: campo '%2' não encontrado.").arg(Name(), name));
    return f;
}

void TDataSet::clearDynamicFields()
{
    const QList<TField*> dynamic = dynamicFields_;
    dynamicFields_.clear();
    qDeleteAll(dynamic);
}

void TDataSet::bindFields()
{
    for (TField* f : fields_)
        f->column_ = packet_.IndexOf(f->FieldName());
}

// --- life cycle ----------------------------------------------------------------

void TDataSet::Open()
{
    if (!Active())
        throw EDatabaseError(QStringLiteral("%1: não há dados para abrir.").arg(Name()));
}

void TDataSet::SetActive(bool active)
{
    if (active)
        Open();
    else
        Close();
}

void TDataSet::LoadPacket(const TDataPacket& packet)
{
    TChangeScope change;
    // Check everything before changing anything, so a refused packet loses nothing.
    const bool dynamic = fields_.isEmpty() || fields_ == dynamicFields_;
    if (!dynamic) {
        for (TField* f : fields_) {
            const int column = packet.IndexOf(f->FieldName());
            if (column < 0)
                throw EDatabaseError(QStringLiteral("%1: o campo '%2' não veio nos dados recebidos.")
                                         .arg(Name(), f->FieldName()));
            if (packet.Field(column).Type != f->DataType())
                throw EDatabaseError(QStringLiteral("%1: o campo '%2' veio como %3, mas é %4.")
                                         .arg(Name(), f->FieldName(), FieldTypeName(packet.Field(column).Type),
                                              FieldTypeName(f->DataType())));
        }
    }
    TFilterExpression::Bound bound = filtered_ ? filter_.Bind(packet.Fields()) : TFilterExpression::Bound();

    if (Active()) {
        setState(TDataSetState::dsInactive);
        DoClose();
    }
    if (dynamic) {
        clearDynamicFields();
        for (const TFieldDesc& d : packet.Fields()) {
            TField* f = CreateField(this, d.Type);
            f->SetFieldName(d.Name);
            if (d.Type == TFieldType::ftString)
                f->SetSize(d.Size);
            dynamicFields_.append(f);
        }
    }
    packet_ = packet;
    rowStates_.clear();
    bound_ = std::move(bound);
    bindFields();
    rebuildView();
    setState(TDataSetState::dsBrowse);
    notify(ContentNotice);
    First();
}

void TDataSet::Close()
{
    TChangeScope change;
    if (!Active())
        return;
    DoClose();
    packet_ = TDataPacket();
    rowStates_.clear();
    view_.clear();
    viewAll_ = true;
    cursor_ = -1;
    bof_ = eof_ = true;
    bound_ = TFilterExpression::Bound();
    for (TField* f : fields_)
        f->column_ = -1;
    setState(TDataSetState::dsInactive);
    notify(ContentNotice);
}

void TDataSet::setState(TDataSetState state)
{
    state_ = state;
    notify(StateNotice);
}

// --- notifications -------------------------------------------------------------

TDataSet::TChangeScope::TChangeScope() { ++pending.depth; }

TDataSet::TChangeScope::~TChangeScope()
{
    if (--pending.depth == 0)
        deliverPending();
}

void TDataSet::notify(Notice notice)
{
    if (disableCount_ > 0) {
        pendingNotice_ = true;
        return;
    }
    if (notice == StateNotice)
        for (TDataSource* source : QList<TDataSource*>(sources_))
            source->stateChanged();
    if (linkNotices_ == 0)
        pending.dataSets.push_back(this);
    linkNotices_ |= notice;
    if (pending.depth == 0)
        deliverPending();
}

// A link that reacts by changing a data set starts a change of its own,
// which delivers what is left when it ends; each data set's news is taken
// off the list before its links hear it, so nothing is told twice.
void TDataSet::deliverPending()
{
    while (!pending.dataSets.empty()) {
        TDataSet* dataSet = pending.dataSets.front();
        pending.dataSets.erase(pending.dataSets.begin());
        const unsigned notices = std::exchange(dataSet->linkNotices_, 0u);
        if (dataSet->disableCount_ > 0) {  // controls disabled since: the last enable tells
            dataSet->pendingNotice_ = true;
            continue;
        }
        for (TDataSource* source : QList<TDataSource*>(dataSet->sources_))
            source->tellLinks(notices);
    }
}

void TDataSet::NotifyDataSetChanged() { notify(ContentNotice); }

void TDataSet::EnableControls()
{
    if (disableCount_ == 0)
        return;
    if (--disableCount_ > 0 || !pendingNotice_)
        return;
    pendingNotice_ = false;
    TChangeScope change;
    notify(StateNotice);
    notify(ContentNotice);
}

void TDataSet::DoAfterScroll()
{
    notify(ScrollNotice);
    AfterScroll(this);
}

// --- visible rows and cursor -----------------------------------------------------

void TDataSet::rebuildView()
{
    const bool filtering = filtered_ && !filter_.IsEmpty();
    if (!filtering && rowStates_.empty()) {
        viewAll_ = true;
        view_.clear();
        return;
    }
    viewAll_ = false;
    view_.clear();
    auto live = [this](int r) { return rowStates_.empty() || rowStates_[r] == 0; };
    if (filtering && bound_.indexable) {
        if (!bound_.contradictory)
            for (int r : packet_.RowsMatching(bound_.keyColumns, bound_.keyValues))
                if (live(r))
                    view_.push_back(r);
        return;
    }
    const int n = packet_.RowCount();
    for (int r = 0; r < n; ++r)
        if (live(r) && (!filtering || bound_.Matches(packet_, r)))
            view_.push_back(r);
}

int TDataSet::RecordCount() const
{
    if (!Active())
        return 0;
    return viewAll_ ? packet_.RowCount() : int(view_.size());
}

int TDataSet::VisibleRow(int position) const { return viewAll_ ? position : view_.at(position); }

int TDataSet::positionOf(int row) const
{
    if (row < 0)
        return -1;
    if (viewAll_)
        return row < packet_.RowCount() ? row : -1;
    const auto it = std::lower_bound(view_.begin(), view_.end(), row);
    return it != view_.end() && *it == row ? int(it - view_.begin()) : -1;
}

int TDataSet::ActiveRow() const
{
    if (displayRow_ >= 0)
        return displayRow_;
    return Active() && cursor_ >= 0 ? VisibleRow(cursor_) : -1;
}

void TDataSet::moveTo(int position)
{
    const int n = RecordCount();
    if (n == 0) {
        cursor_ = -1;
        bof_ = eof_ = true;
        return;
    }
    cursor_ = std::clamp(position, 0, n - 1);
    bof_ = eof_ = false;
}

void TDataSet::First()
{
    TChangeScope change;
    if (!Active())
        return;
    moveTo(0);
    bof_ = true;
    DoAfterScroll();
}

void TDataSet::Last()
{
    TChangeScope change;
    if (!Active())
        return;
    moveTo(RecordCount() - 1);
    eof_ = true;
    DoAfterScroll();
}

int TDataSet::MoveBy(int distance)
{
    TChangeScope change;
    if (!Active() || distance == 0 || IsEmpty())
        return 0;
    const int target = std::clamp(cursor_ + distance, 0, RecordCount() - 1);
    const int moved = target - cursor_;
    const bool hitEnd = cursor_ + distance != target;
    cursor_ = target;
    bof_ = distance < 0 && hitEnd;
    eof_ = distance > 0 && hitEnd;
    if (moved != 0)
        DoAfterScroll();
    return moved;
}

void TDataSet::Next() { MoveBy(1); }
void TDataSet::Prior() { MoveBy(-1); }

void TDataSet::SetRecNo(int recNo)
{
    TChangeScope change;
    if (!Active() || recNo < 1 || recNo > RecordCount() || recNo == RecNo())
        return;
    moveTo(recNo - 1);
    DoAfterScroll();
}

bool TDataSet::Locate(const QString& fieldNames, const QVariant& values, TLocateOptions options)
{
    TChangeScope change;
    if (!Active())
        return false;
    QList<TField*> keys;
    for (const QString& name : fieldNames.split(u';', Qt::SkipEmptyParts))
        keys.append(FieldByName(name.trimmed()));
    const QVariantList wanted = keys.size() == 1 ? QVariantList{values} : values.toList();
    if (wanted.size() != keys.size())
        throw EDatabaseError(QStringLiteral("%1: Locate com %2 campos e %3 valores.")
                                 .arg(Name()).arg(keys.size()).arg(wanted.size()));
    const Qt::CaseSensitivity cs = options.testFlag(loCaseInsensitive) ? Qt::CaseInsensitive : Qt::CaseSensitive;
    const bool partial = options.testFlag(loPartialKey);

    auto matches = [&](int k) {
        TField* f = keys[k];
        const QVariant& want = wanted[k];
        if (want.isNull())
            return f->IsNull();
        if (f->IsNull())
            return false;
        if (f->DataType() != TFieldType::ftString)
            return f->AsFloat() == want.toDouble();
        const QString have = f->AsString();
        const QString text = want.toString();
        return partial ? have.startsWith(text, cs) : have.compare(text, cs) == 0;
    };

    const int n = RecordCount();
    for (int pos = 0; pos < n; ++pos) {
        bool all = true;
        {
            TDisplayRowScope scope(this, pos);
            for (int k = 0; k < keys.size() && all; ++k)
                all = matches(k);
        }
        if (all) {
            moveTo(pos);
            DoAfterScroll();
            return true;
        }
    }
    return false;
}

// --- filtering -------------------------------------------------------------------

void TDataSet::SetFilter(const QString& text)
{
    TChangeScope change;
    if (text == filter_.Text())
        return;
    TFilterExpression parsed = TFilterExpression::Parse(text);
    if (filtered_ && Active()) {
        TFilterExpression::Bound bound = parsed.Bind(packet_.Fields());
        filter_ = std::move(parsed);
        bound_ = std::move(bound);
        rebuildView();
        notify(ContentNotice);
        First();
        return;
    }
    filter_ = std::move(parsed);
}

void TDataSet::SetFiltered(bool on)
{
    TChangeScope change;
    if (!Active()) {
        filtered_ = on;
        return;
    }
    if (on) {
        bound_ = filter_.Bind(packet_.Fields());
        filtered_ = true;
        rebuildView();
        notify(ContentNotice);
        First();
        return;
    }
    if (!filtered_)
        return;
    const int row = ActiveRow();
    filtered_ = false;
    bound_ = TFilterExpression::Bound();
    rebuildView();
    const int pos = positionOf(row);
    notify(ContentNotice);
    if (pos >= 0) {
        moveTo(pos);
        notify(ScrollNotice);
    } else {
        moveTo(0);
        if (cursor_ >= 0)
            DoAfterScroll();
    }
}

void TDataSet::ResyncAfterHiding(int preferredRow)
{
    TChangeScope change;
    rebuildView();
    const int n = RecordCount();
    int pos = -1;
    if (n > 0) {
        if (viewAll_) {
            pos = std::min(preferredRow, n - 1);
        } else {
            const auto it = std::lower_bound(view_.begin(), view_.end(), preferredRow);
            pos = it == view_.end() ? n - 1 : int(it - view_.begin());
        }
    }
    moveTo(pos);
    notify(ContentNotice);
}

// --- display row scope -------------------------------------------------------------

TDisplayRowScope::TDisplayRowScope(TDataSet* dataSet, int position)
    : dataSet_(dataSet), saved_(dataSet->displayRow_)
{
    dataSet_->displayRow_ = dataSet_->VisibleRow(position);
}

TDisplayRowScope::~TDisplayRowScope() { dataSet_->displayRow_ = saved_; }
