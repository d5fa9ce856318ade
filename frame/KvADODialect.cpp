#include "frame/KvADODialect.h"

#include <set>
#include <vector>

namespace kv::ado {

int SchemaInfo::width(const QString& table, const QString& column) const {
    auto t = textColumns.constFind(table.toUpper());
    if (t == textColumns.constEnd()) return -1;
    auto c = t->constFind(column.toUpper());
    return c == t->constEnd() ? -1 : c.value();
}

namespace {

enum class Kind { Space, Comment, Word, String, Quoted, Number, Param, Punct };

struct Token {
    Kind kind = Kind::Space;
    QString text;
    QString prefix, replace, suffix;
    bool replaced = false;
};

bool isWordStart(QChar c) {
    return c.isLetter() || c == u'_' || c == u'#' || c == u'@';
}
bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'#' || c == u'@' || c == u'$';
}

std::vector<Token> tokenize(const QString& sql) {
    std::vector<Token> out;
    const qsizetype n = sql.size();
    qsizetype i = 0;
    auto push = [&](Kind kind, qsizetype from, qsizetype to) {
        Token t;
        t.kind = kind;
        t.text = sql.mid(from, to - from);
        out.push_back(std::move(t));
    };
    while (i < n) {
        const QChar c = sql[i];
        const qsizetype start = i;
        if (c.isSpace()) {
            while (i < n && sql[i].isSpace())
                ++i;
            push(Kind::Space, start, i);
        } else if (c == u'-' && i + 1 < n && sql[i + 1] == u'-') {
            while (i < n && sql[i] != u'\n')
                ++i;
            push(Kind::Comment, start, i);
        } else if (c == u'/' && i + 1 < n && sql[i + 1] == u'*') {
            const qsizetype end = sql.indexOf("*/", i + 2);
            i = end < 0 ? n : end + 2;
            push(Kind::Comment, start, i);
        } else if (c == u'\'' || c == u'"' || c == u'[') {
            const QChar close = c == u'[' ? u']' : c;
            ++i;
            while (i < n) {
                if (sql[i] == close) {
                    if (i + 1 < n && sql[i + 1] == close && close != u']') {
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;
            }
            push(c == u'\'' ? Kind::String : Kind::Quoted, start, i);
        } else if (c == u':' && i + 1 < n && isWordStart(sql[i + 1]) && !(i > 0 && sql[i - 1] == u':')) {
            ++i;
            while (i < n && (sql[i].isLetterOrNumber() || sql[i] == u'_'))
                ++i;
            push(Kind::Param, start, i);
        } else if (isWordStart(c)) {
            while (i < n && isWordChar(sql[i]))
                ++i;
            push(Kind::Word, start, i);
        } else if (c.isDigit()) {
            while (i < n && (sql[i].isDigit() || sql[i] == u'.'))
                ++i;
            push(Kind::Number, start, i);
        } else {
            static const QStringList twoChar = {"<>", "<=", ">=", "!=", "||", "::"};
            const QString two = sql.mid(i, 2);
            i += twoChar.contains(two) ? 2 : 1;
            push(Kind::Punct, start, i);
        }
    }
    return out;
}

bool is(const Token& t, const char* text) {
    return (t.kind == Kind::Word || t.kind == Kind::Punct) &&
           t.text.compare(QLatin1String(text), Qt::CaseInsensitive) == 0;
}

QString blanks(int n) {
    return QString(n, u' ');
}

class Translator {
public:
    Translator(const QString& sql, SqlDialect dialect, const QString& types, const SchemaInfo* schema)
        : FTokens(tokenize(sql)), FDialect(dialect), FSchema(schema), FNames(parameterNames(sql)) {
        for (int i = 0; i < static_cast<int>(FTokens.size()); ++i)
            if (FTokens[static_cast<size_t>(i)].kind != Kind::Space &&
                FTokens[static_cast<size_t>(i)].kind != Kind::Comment)
                FSig.push_back(i);
        for (qsizetype k = 0; k < FNames.size(); ++k)
            FTypes.insert(FNames[k].toUpper(), k < types.size() ? types[k] : QChar(u'N'));
    }

    TranslatedSql run(int rows) {
        if (FDialect != SqlDialect::SQLServer) {
            dropDatabaseQualifiers();
            rewriteConvert();
            addDeleteFrom();
            collectTables();
            rewriteConcatenation();
        }
        TranslatedSql result;
        result.rows = rows;
        if (rows > 1 && !takeRows(rows, result)) return {};
        markParameters(result.markers);
        if (FTupleClose > 0) {
            // The tuple as translated, markers and all, once more for each further row.
            const QString tuple =
                textOf(FSig[static_cast<size_t>(FTupleOpen)], FSig[static_cast<size_t>(FTupleClose)]);
            for (int r = 1; r < rows; ++r)
                sig(FTupleClose).suffix += ", " + tuple;
        }
        result.text = textOf(0, static_cast<int>(FTokens.size()) - 1);
        return result;
    }

private:
    QString textOf(int from, int to) const {
        QString text;
        for (int j = from; j <= to; ++j) {
            const Token& t = FTokens[static_cast<size_t>(j)];
            text += t.prefix + (t.replaced ? t.replace : t.text) + t.suffix;
        }
        return text;
    }
    Token& sig(int k) { return FTokens[static_cast<size_t>(FSig[static_cast<size_t>(k)])]; }
    int sigCount() const { return static_cast<int>(FSig.size()); }
    void replace(int k, const QString& text) {
        sig(k).replace = text;
        sig(k).replaced = true;
    }
    // Index (in FSig) of the parenthesis closing the one at k, or -1.
    int matching(int k) const {
        int depth = 0;
        for (int j = k; j < sigCount(); ++j) {
            const Token& t = FTokens[static_cast<size_t>(FSig[static_cast<size_t>(j)])];
            if (t.kind != Kind::Punct) continue;
            if (t.text == "(")
                ++depth;
            else if (t.text == ")" && --depth == 0)
                return j;
        }
        return -1;
    }
    int matchingBack(int k) const {
        int depth = 0;
        for (int j = k; j >= 0; --j) {
            const Token& t = FTokens[static_cast<size_t>(FSig[static_cast<size_t>(j)])];
            if (t.kind != Kind::Punct) continue;
            if (t.text == ")")
                ++depth;
            else if (t.text == "(" && --depth == 0)
                return j;
        }
        return -1;
    }
    bool adjacent(int k) const {
        return FSig[static_cast<size_t>(k)] + 1 == FSig[static_cast<size_t>(k + 1)];
    }

    void dropDatabaseQualifiers() {
        for (int k = 0; k + 3 < sigCount(); ++k) {
            if ((sig(k).kind == Kind::Word || sig(k).kind == Kind::Quoted) && is(sig(k + 1), ".") &&
                is(sig(k + 2), ".") && adjacent(k) && adjacent(k + 1) && adjacent(k + 2) &&
                (sig(k + 3).kind == Kind::Word || sig(k + 3).kind == Kind::Quoted)) {
                replace(k, "");
                replace(k + 1, "");
                replace(k + 2, "");
                k += 2;
            }
        }
    }

    QString today() const {
        return FDialect == SqlDialect::SQLite ? "strftime('%Y%m%d','now','localtime')"
                                              : "to_char(LOCALTIMESTAMP,'YYYYMMDD')";
    }
    QString now() const {
        return FDialect == SqlDialect::SQLite ? "datetime('now','localtime')" : "LOCALTIMESTAMP";
    }

    QString spanText(int from, int to) {
        QString s;
        for (int j = FSig[static_cast<size_t>(from)]; j <= FSig[static_cast<size_t>(to)]; ++j)
            s += FTokens[static_cast<size_t>(j)].text;
        return s.simplified().remove(' ');
    }
    void blankSpan(int from, int to, const QString& text) {
        for (int j = FSig[static_cast<size_t>(from)]; j <= FSig[static_cast<size_t>(to)]; ++j) {
            FTokens[static_cast<size_t>(j)].replace = QString();
            FTokens[static_cast<size_t>(j)].replaced = true;
        }
        replace(from, text);
    }

    void rewriteConvert() {
        for (int k = 0; k + 1 < sigCount(); ++k) {
            if (is(sig(k), "getdate") && is(sig(k + 1), "(") && !sig(k).replaced) {
                const int close = matching(k + 1);
                if (close > 0) blankSpan(k, close, now());
                continue;
            }
            if (!is(sig(k), "convert") || !is(sig(k + 1), "(")) continue;
            const int close = matching(k + 1);
            if (close < 0) continue;
            // Arguments at the top level of the call.
            std::vector<int> commas;
            int depth = 0;
            for (int j = k + 2; j < close; ++j) {
                if (is(sig(j), "("))
                    ++depth;
                else if (is(sig(j), ")"))
                    --depth;
                else if (depth == 0 && is(sig(j), ","))
                    commas.push_back(j);
            }
            if (commas.empty()) continue;
            const QString type = spanText(k + 2, commas[0] - 1).toLower();
            const int exprEnd = commas.size() > 1 ? commas[1] - 1 : close - 1;
            const QString expr = spanText(commas[0] + 1, exprEnd).toLower();
            const QString style = commas.size() > 1 ? spanText(commas[1] + 1, close - 1) : QString();
            if ((type.startsWith("char") || type.startsWith("varchar")) && expr == "getdate()" &&
                style == "112") {
                blankSpan(k, close, today());
                continue;
            }
            QString target;
            if (type == "int" || type == "integer" || type == "bigint" || type == "smallint")
                target = "INTEGER";
            else if (type == "float" || type == "real" || type.startsWith("numeric") ||
                     type.startsWith("decimal"))
                target = FDialect == SqlDialect::SQLite ? "REAL" : "DOUBLE PRECISION";
            else if (type.startsWith("char") || type.startsWith("varchar") || type.startsWith("nvarchar"))
                target = FDialect == SqlDialect::SQLite ? "TEXT" : "VARCHAR";
            else
                continue;
            // CAST(expr AS type): the expression's own tokens stay, so later steps still see them.
            replace(k, "CAST");
            for (int j = k + 2; j <= commas[0]; ++j)
                replace(j, "");
            for (int j = exprEnd + 1; j < close; ++j)
                replace(j, "");
            sig(close).prefix += " AS " + target;
        }
    }

    void addDeleteFrom() {
        if (sigCount() >= 2 && is(sig(0), "delete") && !is(sig(1), "from")) sig(1).prefix += "FROM ";
    }

    bool isKeyword(const Token& t) const {
        static const QStringList words = {"WHERE",  "LEFT",   "RIGHT", "INNER",  "OUTER", "FULL",
                                          "CROSS",  "JOIN",   "ON",    "SET",    "ORDER", "GROUP",
                                          "HAVING", "VALUES", "UNION", "SELECT", "AS"};
        return t.kind == Kind::Word && words.contains(t.text.toUpper());
    }

    // Tables and their aliases, for the width of a concatenated column.
    void collectTables() {
        for (int k = 0; k + 1 < sigCount(); ++k) {
            if (!(is(sig(k), "from") || is(sig(k), "join") || is(sig(k), "update") || is(sig(k), "into") ||
                  (k == 0 && is(sig(k), "delete"))))
                continue;
            int t = k + 1;
            if (t + 3 < sigCount() && is(sig(t + 1), ".") && is(sig(t + 2), ".")) t += 3;
            if (t >= sigCount() || sig(t).kind != Kind::Word || isKeyword(sig(t))) continue;
            const QString table = sig(t).text.toUpper();
            FTables << table;
            FAliases.insert(table, table);
            int a = t + 1;
            if (a < sigCount() && is(sig(a), "as")) ++a;
            if (a < sigCount() && sig(a).kind == Kind::Word && !isKeyword(sig(a)))
                FAliases.insert(sig(a).text.toUpper(), table);
        }
    }

    struct Span {
        int from = -1, to = -1;
    };

    Span leftOperand(int plus) {
        int j = plus - 1;
        if (j < 0) return {};
        if (is(sig(j), ")")) {
            const int open = matchingBack(j);
            if (open < 0) return {};
            const int from = open > 0 && sig(open - 1).kind == Kind::Word ? open - 1 : open;
            return {from, j};
        }
        int from = j;
        while (from >= 2 && is(sig(from - 1), ".") && sig(from - 2).kind == Kind::Word)
            from -= 2;
        return {from, j};
    }

    Span rightOperand(int plus) {
        int j = plus + 1;
        if (j >= sigCount()) return {};
        if (is(sig(j), "(")) {
            const int close = matching(j);
            return close < 0 ? Span{} : Span{j, close};
        }
        if (sig(j).kind == Kind::Word && j + 1 < sigCount() && is(sig(j + 1), "(")) {
            const int close = matching(j + 1);
            return close < 0 ? Span{} : Span{j, close};
        }
        int to = j;
        while (to + 2 < sigCount() && is(sig(to + 1), ".") && sig(to + 2).kind == Kind::Word)
            to += 2;
        return {j, to};
    }

    // Width of a column operand: -1 not a text column, 0 a text of no fixed width, n CHAR(n).
    int columnWidth(const Span& s) {
        if (!FSchema || s.from < 0 || sig(s.to).kind != Kind::Word) return -1;
        const QString column = sig(s.to).text;
        if (s.from != s.to) {
            const QString qualifier = sig(s.to - 2).text.toUpper();
            return FSchema->width(FAliases.value(qualifier, qualifier), column);
        }
        for (const QString& table : FTables)
            if (const int w = FSchema->width(table, column); w >= 0) return w;
        return -1;
    }

    bool textOperand(const Span& s) {
        if (s.from < 0) return false;
        const Token& first = sig(s.from);
        if (s.from == s.to && first.kind == Kind::String) return true;
        if (s.from == s.to && first.kind == Kind::Param)
            return FTypes.value(first.text.mid(1).toUpper()) == u'S';
        if (first.kind == Kind::Word && s.to > s.from && is(sig(s.from + 1), "(")) {
            static const QStringList textFunctions = {"RTRIM",     "LTRIM", "UPPER", "LOWER",
                                                      "SUBSTRING", "LEFT",  "RIGHT"};
            return textFunctions.contains(first.text.toUpper());
        }
        return columnWidth(s) >= 0;
    }

    void rewriteConcatenation() {
        std::vector<int> pluses;
        for (int k = 0; k < sigCount(); ++k)
            if (sig(k).kind == Kind::Punct && sig(k).text == "+") pluses.push_back(k);
        std::set<int> padded;
        Span chain;
        int chainEnd = -1;
        auto closeChain = [&]() {
            if (chain.from >= 0 && FDialect == SqlDialect::PostgreSQL) {
                // The whole text compares as fixed-width, ignoring its trailing blanks.
                sig(chain.from).prefix = "CAST((" + sig(chain.from).prefix;
                sig(chain.to).suffix += ") AS BPCHAR)";
            }
            chain = {};
        };
        for (int plus : pluses) {
            const Span left = leftOperand(plus), right = rightOperand(plus);
            if (left.from < 0 || right.from < 0 || !(textOperand(left) || textOperand(right))) continue;
            replace(plus, "||");
            for (const Span& s : {left, right}) {
                const int w = columnWidth(s);
                if (w > 0 && padded.insert(s.from).second) {
                    if (FDialect == SqlDialect::SQLite) {
                        sig(s.from).prefix += "substr(";
                        sig(s.to).suffix =
                            QString(" || '%1', 1, %2)").arg(blanks(w)).arg(w) + sig(s.to).suffix;
                    } else {
                        sig(s.from).prefix += "RPAD(";
                        sig(s.to).suffix = QString(", %1)").arg(w) + sig(s.to).suffix;
                    }
                }
            }
            if (chain.from >= 0 && left.from == chainEnd)
                chain.to = right.to;
            else {
                closeChain();
                chain = {left.from, right.to};
            }
            chainEnd = right.from;
        }
        closeChain();
    }

    // Index (in FSig) of the first WHERE outside parentheses, or -1.
    int topLevelWhere() const {
        int depth = 0;
        for (int k = 0; k < sigCount(); ++k) {
            const Token& t = FTokens[static_cast<size_t>(FSig[static_cast<size_t>(k)])];
            if (is(t, "("))
                ++depth;
            else if (is(t, ")"))
                --depth;
            else if (depth == 0 && is(t, "where"))
                return k;
        }
        return -1;
    }

    // Rewrites the statement to take `rows` rows of parameter values (PostgreSQL only). An INSERT lists
    // its VALUES tuple once per row. An UPDATE or DELETE joins the rows as a VALUES list named kv_b,
    // one column per parameter, typed so that texts compare as they do one by one; each row then
    // touches the rows it would have touched alone. False when the statement cannot take them.
    bool takeRows(int rows, TranslatedSql& result) {
        if (FDialect != SqlDialect::PostgreSQL || sigCount() == 0) return false;
        if (is(sig(0), "insert")) {
            int open = -1;
            for (int k = 1; k + 1 < sigCount() && open < 0; ++k)
                if (is(sig(k), "values") && is(sig(k + 1), "(")) open = k + 1;
            const int close = open < 0 ? -1 : matching(open);
            if (close < 0) return false;
            for (int k = 0; k < sigCount(); ++k)
                if (sig(k).kind == Kind::Param && (k < open || k > close)) return false;
            FTupleOpen = open;
            FTupleClose = close;
            return true;
        }
        const bool update = is(sig(0), "update");
        if (!update && !is(sig(0), "delete")) return false;
        const int where = topLevelWhere();
        if (where < 0) return false;
        QStringList columns, casts;
        for (const QString& name : FNames) {
            const QChar type = FTypes.value(name.toUpper(), u'N');
            // An unset value has no type a VALUES list could give it.
            if (type == u'N') return false;
            columns << "p" + QString::number(columns.size() + 1);
            casts << (type == u'S' ? "CAST(? AS BPCHAR)" : "CAST(? AS DOUBLE PRECISION)");
            result.markers << name;
        }
        for (Token& t : FTokens) {
            if (t.kind != Kind::Param) continue;
            const QString name = t.text.mid(1);
            for (qsizetype i = 0; i < FNames.size(); ++i)
                if (FNames[i].compare(name, Qt::CaseInsensitive) == 0) t.replace = "kv_b." + columns[i];
            t.replaced = true;
        }
        const QString row = "(" + casts.join(", ") + ")";
        QStringList values;
        for (int r = 0; r < rows; ++r)
            values << row;
        sig(where).prefix += QString(update ? "FROM" : "USING") + " (VALUES " + values.join(", ") +
                             ") AS kv_b(" + columns.join(", ") + ") ";
        return true;
    }

    void markParameters(QStringList& markers) {
        for (Token& t : FTokens) {
            if (t.kind != Kind::Param || t.replaced) continue;
            const QString name = t.text.mid(1);
            markers << name;
            const QChar type = FTypes.value(name.toUpper(), u'N');
            t.replaced = true;
            if (FDialect == SqlDialect::SQLite && type == u'S')
                t.replace = "? COLLATE RTRIM";
            else if (FDialect == SqlDialect::PostgreSQL && type == u'S')
                t.replace = "CAST(? AS BPCHAR)";
            else
                t.replace = "?";
        }
    }

    std::vector<Token> FTokens;
    std::vector<int> FSig;
    SqlDialect FDialect;
    const SchemaInfo* FSchema;
    QStringList FNames;
    // The VALUES tuple of an INSERT that takes several rows (indexes in FSig).
    int FTupleOpen = -1, FTupleClose = -1;
    QHash<QString, QChar> FTypes;
    QStringList FTables;
    QHash<QString, QString> FAliases;
};

} // namespace

QStringList parameterNames(const QString& sql) {
    QStringList names;
    for (const Token& t : tokenize(sql)) {
        if (t.kind != Kind::Param) continue;
        const QString name = t.text.mid(1);
        bool seen = false;
        for (const QString& n : names)
            seen = seen || n.compare(name, Qt::CaseInsensitive) == 0;
        if (!seen) names << name;
    }
    return names;
}

bool mayConcatenate(const QString& sql) {
    for (const Token& t : tokenize(sql))
        if (t.kind == Kind::Punct && t.text == "+") return true;
    return false;
}

TranslatedSql translateSql(const QString& sql, SqlDialect dialect, const QString& paramTypes,
                           const SchemaInfo* schema, int rows) {
    return Translator(sql, dialect, paramTypes, schema).run(rows);
}

} // namespace kv::ado
