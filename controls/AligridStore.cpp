// The stored form of TStringAlignGrid: one "Name = (values)" line per list; values are integers and
// quoted texts ('it''s', control characters as #n between quoted parts).
#include <QHash>
#include <QVariant>

#include "controls/Aligrid.h"

namespace {

QString quote(const QString& text) {
    QString out;
    bool open = false;
    for (const QChar c : text) {
        if (c.unicode() < 32) {
            if (open) out += '\'';
            open = false;
            out += '#' + QString::number(c.unicode());
            continue;
        }
        if (!open) out += '\'';
        open = true;
        out += c == '\'' ? QStringLiteral("''") : QString(c);
    }
    if (open) out += '\'';
    return out.isEmpty() ? QStringLiteral("''") : out;
}

// Values of one list: integers as qlonglong, texts as QString.
struct Reader {
    QList<QVariant> values;
    int pos = 0;
    bool ok = true;
    bool atEnd() const { return pos >= values.size(); }
    int integer() {
        if (atEnd() || values[pos].typeId() != QMetaType::LongLong) {
            ok = false;
            return 0;
        }
        return int(values[pos++].toLongLong());
    }
    QString text() {
        if (atEnd() || values[pos].typeId() != QMetaType::QString) {
            ok = false;
            return {};
        }
        return values[pos++].toString();
    }
};

bool tokenize(const QString& body, QList<QVariant>& out) {
    int i = 0;
    const int n = body.size();
    while (i < n) {
        const QChar c = body[i];
        if (c.isSpace()) {
            ++i;
        } else if (c == '\'' || c == '#') {
            QString text;
            while (i < n && (body[i] == '\'' || body[i] == '#')) {
                if (body[i] == '#') {
                    int j = i + 1;
                    while (j < n && body[j].isDigit())
                        ++j;
                    if (j == i + 1) return false;
                    text += QChar(body.mid(i + 1, j - i - 1).toInt());
                    i = j;
                } else {
                    ++i;
                    for (;;) {
                        if (i >= n) return false;
                        if (body[i] == '\'') {
                            if (i + 1 < n && body[i + 1] == '\'') {
                                text += '\'';
                                i += 2;
                                continue;
                            }
                            ++i;
                            break;
                        }
                        text += body[i++];
                    }
                }
            }
            out << QVariant(text);
        } else if (c == '-' || c.isDigit()) {
            int j = i + 1;
            while (j < n && body[j].isDigit())
                ++j;
            bool ok = false;
            const qlonglong v = body.mid(i, j - i).toLongLong(&ok);
            if (!ok) return false;
            out << QVariant(v);
            i = j;
        } else {
            return false;
        }
    }
    return true;
}

void writeBrush(QStringList& out, const TKvBrush& b) {
    out << QString::number(b.Color) << QString::number(b.Style);
}

void writeFont(QStringList& out, const TKvFont& f) {
    out << QString::number(f.Color) << QString::number(f.Height) << quote(f.Name) << QString::number(f.Pitch)
        << QString::number(f.Style);
}

TKvBrush readBrush(Reader& r) {
    TKvBrush b;
    b.Color = r.integer();
    b.Style = r.integer();
    return b;
}

TKvFont readFont(Reader& r) {
    TKvFont f;
    f.Color = r.integer();
    f.Height = r.integer();
    f.Name = r.text();
    f.Pitch = r.integer();
    f.Style = r.integer();
    return f;
}

void writeFields(QStringList& out, const TCellProperties& p) {
    if (p.Align != alDefault) out << "1" << QString::number(p.Align);
    if (p.Wordwrap != ww_default) out << "2" << QString::number(p.Wordwrap);
    if (p.Editable != 0) out << "3" << QString::number(p.Editable);
    if (p.Brush) out << "4", writeBrush(out, *p.Brush);
    if (p.SelectedBrush) out << "5", writeBrush(out, *p.SelectedBrush);
    if (p.Font) out << "6", writeFont(out, *p.Font);
    if (p.SelectedFont) out << "7", writeFont(out, *p.SelectedFont);
    if (!p.Hint.isEmpty()) out << "8" << quote(p.Hint);
    if (p.Control && p.Control->Kind != ck_None) {
        const TControlInfo& c = *p.Control;
        out << "9" << QString::number(c.Kind) << quote(c.Kind == ck_Button ? c.Caption : QString())
            << QString::number(c.Items.Number) << QString::number(c.Items.Search ? 1 : 0)
            << quote(c.Items.Lines.join('\n')) << quote(c.CheckedText) << quote(c.UncheckedText);
    }
    out << "0";
}

bool readFields(Reader& r, TCellProperties& p) {
    for (;;) {
        const int tag = r.integer();
        if (!r.ok) return false;
        switch (tag) {
        case 0:
            return true;
        case 1:
            p.Align = r.integer();
            break;
        case 2:
            p.Wordwrap = r.integer();
            break;
        case 3:
            p.Editable = quint8(r.integer());
            break;
        case 4:
            p.Brush = readBrush(r);
            break;
        case 5:
            p.SelectedBrush = readBrush(r);
            break;
        case 6:
            p.Font = readFont(r);
            break;
        case 7:
            p.SelectedFont = readFont(r);
            break;
        case 8:
            p.Hint = r.text();
            break;
        case 9: {
            TControlInfo c;
            c.Kind = r.integer();
            c.Caption = r.text();
            c.Items.Number = r.integer();
            c.Items.Search = r.integer() != 0;
            const QString lines = r.text();
            c.Items.Lines = lines.isEmpty() ? QStringList() : lines.split('\n');
            c.CheckedText = r.text();
            c.UncheckedText = r.text();
            if (c.Kind != ck_Button) c.Caption.clear();
            p.Control = c;
            break;
        }
        default:
            return false;
        }
        if (!r.ok) return false;
    }
}

} // namespace

QString TStringAlignGrid::SaveToText() const {
    QStringList lines;
    auto emitList = [&](const char* name, const QStringList& values) {
        if (!values.isEmpty())
            lines << QStringLiteral("%1 = (%2)").arg(QLatin1String(name), values.join(' '));
    };
    QStringList cells;
    for (int r = 0; r < rowCount(); ++r)
        for (int c = 0; c < columnCount(); ++c)
            if (const QString t = StoredCell(c, r); !t.isEmpty())
                cells << QString::number(c) << QString::number(r) << quote(t);
    emitList("Cells", cells);
    QStringList hints;
    for (auto it = FCellHints.cbegin(); it != FCellHints.cend(); ++it)
        hints << QString::number(it.key().first) << QString::number(it.key().second) << quote(it.value());
    emitList("HintCell", hints);
    QStringList props;
    for (auto it = FLevels[plCell].cbegin(); it != FLevels[plCell].cend(); ++it) {
        if (it.value().isEmpty()) continue;
        props << QString::number(it.key().first) << QString::number(it.key().second);
        writeFields(props, it.value());
    }
    emitList("PropCell", props);
    const std::pair<TPropLevel, const char*> levels[] = {
        {plCol, "PropCol"}, {plRow, "PropRow"}, {plFixedCol, "PropFixedCol"}, {plFixedRow, "PropFixedRow"}};
    for (const auto& [level, name] : levels) {
        QStringList values;
        for (auto it = FLevels[level].cbegin(); it != FLevels[level].cend(); ++it) {
            if (it.value().isEmpty()) continue;
            values << QString::number(it.key().first);
            writeFields(values, it.value());
        }
        emitList(name, values);
    }
    return lines.join('\n') + (lines.isEmpty() ? "" : "\n");
}

bool TStringAlignGrid::LoadFromText(const QString& text) {
    // Parse everything first: a malformed text leaves the grid as it was.
    QHash<QString, QList<QVariant>> lists;
    int i = 0;
    while (i < text.size()) {
        const int eq = text.indexOf('=', i);
        if (eq < 0) {
            if (!text.mid(i).trimmed().isEmpty()) return false;
            break;
        }
        const QString name = text.mid(i, eq - i).trimmed();
        const int open = text.indexOf('(', eq);
        if (open < 0 || !text.mid(eq + 1, open - eq - 1).trimmed().isEmpty()) return false;
        // The closing bracket is the first one outside quotes.
        int close = -1;
        bool quoted = false;
        for (int j = open + 1; j < text.size(); ++j) {
            if (text[j] == '\'')
                quoted = !quoted;
            else if (text[j] == ')' && !quoted) {
                close = j;
                break;
            }
        }
        if (close < 0) return false;
        QList<QVariant> values;
        if (!tokenize(text.mid(open + 1, close - open - 1), values)) return false;
        lists.insert(name.toLower(), values);
        i = close + 1;
    }

    QMap<CellKey, TCellProperties> levels[5];
    QMap<CellKey, QString> hints;
    QList<std::tuple<int, int, QString>> cells;
    auto reader = [&](const char* name) {
        return Reader{lists.value(QString::fromLatin1(name).toLower()), 0, true};
    };

    for (Reader r = reader("Cells"); r.ok && !r.atEnd();) {
        const int c = r.integer(), row = r.integer();
        const QString t = r.text();
        if (r.ok) cells << std::make_tuple(c, row, t);
    }
    for (Reader r = reader("HintCell"); r.ok && !r.atEnd();) {
        const int c = r.integer(), row = r.integer();
        const QString t = r.text();
        if (r.ok) hints[{c, row}] = t;
    }
    bool ok = true;
    for (Reader r = reader("PropCell"); ok && !r.atEnd();) {
        const int c = r.integer(), row = r.integer();
        TCellProperties p;
        ok = r.ok && readFields(r, p);
        if (ok) levels[plCell][{c, row}] = p;
    }
    const std::pair<TPropLevel, const char*> indexLevels[] = {
        {plCol, "PropCol"}, {plRow, "PropRow"}, {plFixedCol, "PropFixedCol"}, {plFixedRow, "PropFixedRow"}};
    for (const auto& [level, name] : indexLevels) {
        for (Reader r = reader(name); ok && !r.atEnd();) {
            const int index = r.integer();
            TCellProperties p;
            ok = r.ok && readFields(r, p);
            if (ok) levels[level][{index, -1}] = p;
        }
    }
    if (!ok) return false;

    // Older forms: one list per property and level, read into the same records.
    struct Old {
        const char* name;
        TPropLevel level;
        int kind; // 0 align, 1 editable, 2 font, 3 brush, 4 colour, 5 selected colour
    };
    const Old olds[] = {
        {"AlignCell", plCell, 0},
        {"AlignCol", plCol, 0},
        {"FixedAlignCol", plFixedCol, 0},
        {"AlignRow", plRow, 0},
        {"FixedAlignRow", plFixedRow, 0},
        {"EditCell", plCell, 1},
        {"EditCol", plCol, 1},
        {"EditRow", plRow, 1},
        {"FontCell", plCell, 2},
        {"FontCol", plCol, 2},
        {"FontFixedCol", plFixedCol, 2},
        {"FontRow", plRow, 2},
        {"FontFixedRow", plFixedRow, 2},
        {"BrushCell", plCell, 3},
        {"BrushCol", plCol, 3},
        {"BrushFixedCol", plFixedCol, 3},
        {"BrushRow", plRow, 3},
        {"BrushFixedRow", plFixedRow, 3},
        {"ColorCell", plCell, 4},
        {"ColorCol", plCol, 4},
        {"ColorFixedCol", plFixedCol, 4},
        {"ColorRow", plRow, 4},
        {"ColorFixedRow", plFixedRow, 4},
        {"SelectedColorCell", plCell, 5},
        {"SelectedColorCol", plCol, 5},
        {"SelectedColorRow", plRow, 5},
    };
    for (const Old& old : olds) {
        for (Reader r = reader(old.name); r.ok && !r.atEnd();) {
            CellKey key{r.integer(), -1};
            if (old.level == plCell) key.second = r.integer();
            TCellProperties& p = levels[old.level][key];
            switch (old.kind) {
            case 0:
                p.Align = r.integer();
                break;
            case 1:
                p.Editable = quint8(r.integer() ? 2 : 1);
                break;
            case 2:
                p.Font = readFont(r);
                break;
            case 3:
                p.Brush = readBrush(r);
                break;
            case 4:
                p.Brush = TKvBrush{r.integer(), 0};
                break;
            default:
                p.SelectedBrush = TKvBrush{r.integer(), 0};
                break;
            }
            if (!r.ok) return false;
        }
    }

    for (auto& level : levels)
        level.removeIf([](const auto& it) { return it.value().isEmpty(); });
    for (int l = 0; l < 5; ++l)
        FLevels[l] = levels[l];
    FCellHints = hints;
    clearContents();
    for (const auto& [c, row, t] : cells) {
        if (c >= columnCount()) setColumnCount(c + 1);
        if (row >= rowCount()) setRowCount(row + 1);
        SetCells(c, row, t);
    }
    viewport()->update();
    return true;
}
