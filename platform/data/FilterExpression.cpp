#include "FilterExpression.h"

#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"

#include <algorithm>
#include <map>

struct TFilterOperand {
    enum Kind { Field, String, Number } kind = String;
    QString text;      // field name or string literal
    double number = 0;
    int position = 0;  // 1-based, for messages
    int column = -1;   // bound: packet column of a field
    bool numeric = false;  // bound: compared as a number
};

struct TFilterNode {
    enum Kind { And, Or, Not, Compare, IsNull } kind = Compare;
    enum Op { Eq, Ne, Lt, Gt, Le, Ge } op = Eq;
    std::shared_ptr<TFilterNode> left, right;  // And/Or use both, Not uses left
    TFilterOperand a, b;                       // Compare uses both, IsNull uses a
    bool negated = false;                      // IS NOT NULL
};

namespace {

[[noreturn]] void fail(int position, const QString& what)
{
    throw EDatabaseError(QStringLiteral("Expressão de filtro inválida na posição %1: %2").arg(position).arg(what));
}

struct Token {
    enum Kind { End, Ident, String, Number, LParen, RParen, Op } kind = End;
    QString text;
    double number = 0;
    int position = 0;
};

class Lexer {
public:
    explicit Lexer(const QString& text) : s_(text) {}

    Token next()
    {
        while (i_ < s_.size() && s_[i_].isSpace())
            ++i_;
        Token t;
        t.position = int(i_) + 1;
        if (i_ >= s_.size())
            return t;
        const QChar c = s_[i_];
        if (c == u'(' || c == u')') {
            t.kind = c == u'(' ? Token::LParen : Token::RParen;
            ++i_;
        } else if (c == u'\'') {
            t.kind = Token::String;
            for (++i_;; ++i_) {
                if (i_ >= s_.size())
                    fail(t.position, QStringLiteral("texto sem aspa de fechamento"));
                if (s_[i_] == u'\'') {
                    if (i_ + 1 < s_.size() && s_[i_ + 1] == u'\'') {
                        t.text += u'\'';
                        ++i_;
                        continue;
                    }
                    ++i_;
                    break;
                }
                t.text += s_[i_];
            }
        } else if (c == u'[') {
            const qsizetype end = s_.indexOf(u']', i_ + 1);
            if (end < 0)
                fail(t.position, QStringLiteral("nome de campo sem ']'"));
            t.kind = Token::Ident;
            t.text = s_.mid(i_ + 1, end - i_ - 1);
            i_ = end + 1;
        } else if (c.isDigit() || ((c == u'-' || c == u'.') && i_ + 1 < s_.size() && s_[i_ + 1].isDigit())) {
            qsizetype j = i_ + 1;
            while (j < s_.size() && (s_[j].isDigit() || s_[j] == u'.'))
                ++j;
            bool ok = false;
            t.kind = Token::Number;
            t.number = s_.mid(i_, j - i_).toDouble(&ok);
            if (!ok)
                fail(t.position, QStringLiteral("número inválido"));
            i_ = j;
        } else if (c.isLetter() || c == u'_') {
            qsizetype j = i_;
            while (j < s_.size() && (s_[j].isLetterOrNumber() || s_[j] == u'_'))
                ++j;
            t.kind = Token::Ident;
            t.text = s_.mid(i_, j - i_);
            i_ = j;
        } else if (c == u'=' ) {
            t.kind = Token::Op;
            t.text = QStringLiteral("=");
            ++i_;
        } else if (c == u'<' || c == u'>') {
            t.kind = Token::Op;
            t.text = c;
            ++i_;
            if (i_ < s_.size() && (s_[i_] == u'=' || (c == u'<' && s_[i_] == u'>')))
                t.text += s_[i_++];
        } else {
            fail(t.position, QStringLiteral("caractere inesperado '%1'").arg(c));
        }
        return t;
    }

private:
    const QString& s_;
    qsizetype i_ = 0;
};

bool isKeyword(const Token& t, const char* word)
{
    return t.kind == Token::Ident && t.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

// Binding, evaluation and destruction all descend the tree, whose height
// grows with every AND, OR, NOT and parenthesis: a text with more of them is
// refused before any pass can exhaust the stack. No filter the screens write
// comes near it.
constexpr int MaxOperators = 1000;

class Parser {
public:
    explicit Parser(const QString& text) : lex_(text) { advance(); }

    std::shared_ptr<TFilterNode> parse()
    {
        auto root = parseOr();
        if (cur_.kind != Token::End)
            fail(cur_.position, QStringLiteral("esperado fim da expressão"));
        return root;
    }

private:
    void advance() { cur_ = lex_.next(); }
    // Counts the operator or parenthesis the parser stands on.
    void deeper()
    {
        if (++operators_ > MaxOperators)
            fail(cur_.position, QStringLiteral("mais de %1 operadores e parênteses").arg(MaxOperators));
    }

    std::shared_ptr<TFilterNode> binary(TFilterNode::Kind kind, std::shared_ptr<TFilterNode> l,
                                        std::shared_ptr<TFilterNode> r)
    {
        auto n = std::make_shared<TFilterNode>();
        n->kind = kind;
        n->left = std::move(l);
        n->right = std::move(r);
        return n;
    }

    std::shared_ptr<TFilterNode> parseOr()
    {
        auto left = parseAnd();
        while (isKeyword(cur_, "OR")) {
            deeper();
            advance();
            left = binary(TFilterNode::Or, left, parseAnd());
        }
        return left;
    }

    std::shared_ptr<TFilterNode> parseAnd()
    {
        auto left = parseNot();
        while (isKeyword(cur_, "AND")) {
            deeper();
            advance();
            left = binary(TFilterNode::And, left, parseNot());
        }
        return left;
    }

    std::shared_ptr<TFilterNode> parseNot()
    {
        if (isKeyword(cur_, "NOT")) {
            deeper();
            advance();
            return binary(TFilterNode::Not, parseNot(), nullptr);
        }
        if (cur_.kind == Token::LParen) {
            deeper();
            advance();
            auto inner = parseOr();
            if (cur_.kind != Token::RParen)
                fail(cur_.position, QStringLiteral("esperado ')'"));
            advance();
            return inner;
        }
        return parseComparison();
    }

    TFilterOperand operand()
    {
        TFilterOperand o;
        o.position = cur_.position;
        switch (cur_.kind) {
        case Token::Ident:
            if (isKeyword(cur_, "AND") || isKeyword(cur_, "OR") || isKeyword(cur_, "NOT") ||
                isKeyword(cur_, "IS") || isKeyword(cur_, "NULL"))
                fail(cur_.position, QStringLiteral("palavra reservada '%1' fora de lugar").arg(cur_.text));
            o.kind = TFilterOperand::Field;
            o.text = cur_.text;
            break;
        case Token::String:
            o.kind = TFilterOperand::String;
            o.text = cur_.text;
            break;
        case Token::Number:
            o.kind = TFilterOperand::Number;
            o.number = cur_.number;
            break;
        default:
            fail(cur_.position, QStringLiteral("esperado campo ou valor"));
        }
        advance();
        return o;
    }

    std::shared_ptr<TFilterNode> parseComparison()
    {
        auto n = std::make_shared<TFilterNode>();
        n->a = operand();
        if (isKeyword(cur_, "IS")) {
            advance();
            if (isKeyword(cur_, "NOT")) {
                n->negated = true;
                advance();
            }
            if (!isKeyword(cur_, "NULL"))
                fail(cur_.position, QStringLiteral("esperado NULL"));
            advance();
            n->kind = TFilterNode::IsNull;
            return n;
        }
        if (cur_.kind != Token::Op)
            fail(cur_.position, QStringLiteral("esperado operador de comparação"));
        static const std::map<QString, TFilterNode::Op> ops = {
            {"=", TFilterNode::Eq}, {"<>", TFilterNode::Ne}, {"<", TFilterNode::Lt},
            {">", TFilterNode::Gt}, {"<=", TFilterNode::Le}, {">=", TFilterNode::Ge}};
        n->op = ops.at(cur_.text);
        advance();
        n->b = operand();
        return n;
    }

    Lexer lex_;
    Token cur_;
    int operators_ = 0;
};

// --- binding ---------------------------------------------------------------

int columnOf(const QList<TFieldDesc>& fields, const TFilterOperand& o)
{
    for (int i = 0; i < fields.size(); ++i)
        if (fields[i].Name.compare(o.text, Qt::CaseInsensitive) == 0)
            return i;
    throw EDatabaseError(QStringLiteral("Filtro: campo '%1' não encontrado.").arg(o.text));
}

void bindOperand(const QList<TFieldDesc>& fields, TFilterOperand& o)
{
    if (o.kind != TFilterOperand::Field)
        return;
    o.column = columnOf(fields, o);
    o.numeric = fields[o.column].Type != TFieldType::ftString;
}

// Gives a literal the kind of the field it is compared with.
void coerceLiteral(const QList<TFieldDesc>& fields, const TFilterOperand& field, TFilterOperand& literal)
{
    if (literal.kind == TFilterOperand::Field)
        return;
    const TFieldType type = fields[field.column].Type;
    if (type == TFieldType::ftString) {
        if (literal.kind == TFilterOperand::Number)
            throw EDatabaseError(QStringLiteral("Filtro: o campo '%1' é texto e foi comparado com um número.")
                                     .arg(field.text));
        return;
    }
    if (literal.kind == TFilterOperand::String) {
        bool ok = false;
        double v = 0;
        if (type == TFieldType::ftDateTime) {
            TDateTime d;
            ok = TryStrToDate(literal.text, d);
            v = d.Val;
        } else {
            v = QString(literal.text).replace(u',', u'.').toDouble(&ok);
        }
        if (!ok)
            throw EDatabaseError(QStringLiteral("Filtro: '%1' não serve como %2 para o campo '%3'.")
                                     .arg(literal.text, FieldTypeName(type), field.text));
        literal.kind = TFilterOperand::Number;
        literal.number = v;
    }
    literal.numeric = true;
}

std::shared_ptr<TFilterNode> bind(const QList<TFieldDesc>& fields, const TFilterNode& src)
{
    auto n = std::make_shared<TFilterNode>(src);
    switch (n->kind) {
    case TFilterNode::And:
    case TFilterNode::Or:
        n->left = bind(fields, *src.left);
        n->right = bind(fields, *src.right);
        break;
    case TFilterNode::Not:
        n->left = bind(fields, *src.left);
        break;
    case TFilterNode::IsNull:
        bindOperand(fields, n->a);
        break;
    case TFilterNode::Compare:
        bindOperand(fields, n->a);
        bindOperand(fields, n->b);
        if (n->a.kind == TFilterOperand::Field)
            coerceLiteral(fields, n->a, n->b);
        if (n->b.kind == TFilterOperand::Field)
            coerceLiteral(fields, n->b, n->a);
        if (n->a.kind != TFilterOperand::Field && n->b.kind != TFilterOperand::Field) {
            n->a.numeric = n->a.kind == TFilterOperand::Number;
            n->b.numeric = n->b.kind == TFilterOperand::Number;
        }
        if (n->a.numeric != n->b.numeric)
            throw EDatabaseError(QStringLiteral("Filtro: comparação entre tipos incompatíveis na posição %1.")
                                     .arg(n->a.position));
        break;
    }
    return n;
}

// Collects `string field = 'literal'` terms of an AND tree; false when the
// tree has any other shape.
bool collectEqualities(const TFilterNode& n, std::map<int, QStringList>& terms)
{
    if (n.kind == TFilterNode::And)
        return collectEqualities(*n.left, terms) && collectEqualities(*n.right, terms);
    if (n.kind != TFilterNode::Compare || n.op != TFilterNode::Eq)
        return false;
    const TFilterOperand* field = n.a.kind == TFilterOperand::Field ? &n.a : &n.b;
    const TFilterOperand* literal = field == &n.a ? &n.b : &n.a;
    if (field->kind != TFilterOperand::Field || literal->kind != TFilterOperand::String || field->numeric)
        return false;
    terms[field->column].append(literal->text);
    return true;
}

// --- evaluation ------------------------------------------------------------

bool evalCompare(const TFilterNode& n, const TDataPacket& p, int row)
{
    auto isNull = [&](const TFilterOperand& o) { return o.kind == TFilterOperand::Field && p.IsNull(row, o.column); };
    if (isNull(n.a) || isNull(n.b))
        return false;
    int cmp;
    if (n.a.numeric) {
        const double x = n.a.kind == TFilterOperand::Field ? p.Number(row, n.a.column) : n.a.number;
        const double y = n.b.kind == TFilterOperand::Field ? p.Number(row, n.b.column) : n.b.number;
        cmp = x < y ? -1 : (x > y ? 1 : 0);
    } else {
        const QString& x = n.a.kind == TFilterOperand::Field ? p.String(row, n.a.column) : n.a.text;
        const QString& y = n.b.kind == TFilterOperand::Field ? p.String(row, n.b.column) : n.b.text;
        cmp = x.compare(y);
    }
    switch (n.op) {
    case TFilterNode::Eq: return cmp == 0;
    case TFilterNode::Ne: return cmp != 0;
    case TFilterNode::Lt: return cmp < 0;
    case TFilterNode::Gt: return cmp > 0;
    case TFilterNode::Le: return cmp <= 0;
    case TFilterNode::Ge: return cmp >= 0;
    }
    return false;
}

bool eval(const TFilterNode& n, const TDataPacket& p, int row)
{
    switch (n.kind) {
    case TFilterNode::And: return eval(*n.left, p, row) && eval(*n.right, p, row);
    case TFilterNode::Or: return eval(*n.left, p, row) || eval(*n.right, p, row);
    case TFilterNode::Not: return !eval(*n.left, p, row);
    case TFilterNode::IsNull: {
        const bool null = n.a.kind == TFilterOperand::Field ? p.IsNull(row, n.a.column) : false;
        return null != n.negated;
    }
    case TFilterNode::Compare: return evalCompare(n, p, row);
    }
    return false;
}

} // namespace

TFilterExpression::TFilterExpression() = default;
TFilterExpression::~TFilterExpression() = default;
TFilterExpression::TFilterExpression(TFilterExpression&&) noexcept = default;
TFilterExpression& TFilterExpression::operator=(TFilterExpression&&) noexcept = default;

TFilterExpression TFilterExpression::Parse(const QString& text)
{
    TFilterExpression e;
    e.text_ = text;
    bool blank = true;
    for (QChar c : text)
        blank = blank && c.isSpace();
    if (!blank)
        e.root_ = Parser(text).parse();
    return e;
}

TFilterExpression::Bound TFilterExpression::Bind(const QList<TFieldDesc>& fields) const
{
    Bound b;
    if (!root_)
        return b;
    auto root = bind(fields, *root_);
    std::map<int, QStringList> terms;
    if (collectEqualities(*root, terms)) {
        b.indexable = true;
        for (auto& [column, literals] : terms) {
            literals.removeDuplicates();
            b.contradictory = b.contradictory || literals.size() > 1;
            b.keyColumns.push_back(column);
            b.keyValues.append(literals.first());
        }
    }
    b.root_ = std::move(root);
    return b;
}

bool TFilterExpression::Bound::Matches(const TDataPacket& packet, int row) const
{
    return !root_ || eval(*root_, packet, row);
}
