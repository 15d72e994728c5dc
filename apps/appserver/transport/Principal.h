#pragma once
// Who a call is made for: the authenticated user and the branches that user
// may work on. A server without accounts trusts its callers: their
// principal has no user and every branch.
#include <QString>
#include <QStringList>
#include <optional>

// The branches an account may work on: all of them, or a list of 4-digit
// branch codes. Written "*" or "0001,0003" (the codes sorted, once each).
class TBranches {
public:
    static TBranches All() { return TBranches(); }
    // No branch: the principal of a user whose account is gone.
    static TBranches None()
    {
        TBranches none;
        none.all_ = false;
        return none;
    }

    // The list `text` holds ("*", or codes separated by commas, blanks around
    // a code allowed), or nothing with `error` set (Portuguese) for an empty
    // list or a code that is not 4 digits.
    static std::optional<TBranches> Parse(const QString& text, QString& error);

    bool IsAll() const { return all_; }
    // Whether `branch`, as a client sent it, is one of them (compared exactly).
    bool Contains(const QString& branch) const { return all_ || codes_.contains(branch); }
    // "*" or the codes joined by commas ("" for None()).
    QString Text() const;
    bool operator==(const TBranches&) const = default;

private:
    TBranches() = default;
    bool all_ = true;
    QStringList codes_;  // sorted, unique; empty when all_
};

struct TPrincipal {
    QString User;  // "" on a server without accounts
    TBranches Branches = TBranches::All();
};
