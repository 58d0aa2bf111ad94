#include "acquisition/datapacket.h"

#include "acquisition/cp1252.h"
#include "acquisition/wholefile.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTime>
#include <charconv>
#include <cmath>

namespace acq {

namespace {

// ---- writing ------------------------------------------------------------------------------

QString typeName(const FieldDef& f) {
    if (!f.fileType.isEmpty())
        return f.fileType;
    switch (f.type) {
    case FieldType::Integer:
    case FieldType::AutoInc: return QStringLiteral("i4");
    case FieldType::LargeInt: return QStringLiteral("i8");
    case FieldType::Float: return QStringLiteral("r8");
    case FieldType::String: return QStringLiteral("string");
    case FieldType::Boolean: return QStringLiteral("boolean");
    case FieldType::Date: return QStringLiteral("date");
    case FieldType::Time: return QStringLiteral("time");
    case FieldType::DateTime: return QStringLiteral("dateTime");
    case FieldType::Binary: return QStringLiteral("bin.hex");
    }
    return QStringLiteral("string");
}

QString escape(const QString& s) {
    QString out;
    out.reserve(s.size());
    for (QChar c : s) {
        switch (c.unicode()) {
        case '<': out += QStringLiteral("&lt;"); break;
        case '>': out += QStringLiteral("&gt;"); break;
        case '&': out += QStringLiteral("&amp;"); break;
        case '"': out += QStringLiteral("&quot;"); break;
        case '\'': out += QStringLiteral("&apos;"); break;
        case '\r': out += QStringLiteral("&#013;"); break;
        case '\n': out += QStringLiteral("&#010;"); break;
        case '\t': out += QStringLiteral("&#009;"); break;
        default: out += c;
        }
    }
    return out;
}

QString valueText(const FieldDef& f, const QVariant& v) {
    switch (f.type) {
    case FieldType::Integer:
    case FieldType::LargeInt:
    case FieldType::AutoInc: return QString::number(v.toLongLong());
    case FieldType::Float: {
        // The shortest digits that read back to the same double: a file gives back bit for
        // bit what was saved.
        char buf[32];
        const auto r = std::to_chars(buf, buf + sizeof buf, v.toDouble());
        return QString::fromLatin1(buf, static_cast<qsizetype>(r.ptr - buf));
    }
    case FieldType::Boolean: return v.toBool() ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    case FieldType::Date: return v.toDate().toString(QStringLiteral("yyyyMMdd"));
    case FieldType::Time: return v.toTime().toString(QStringLiteral("hh:mm:sszzz"));
    case FieldType::DateTime:
        return v.toDateTime().toString(QStringLiteral("yyyyMMddThh:mm:sszzz"));
    case FieldType::Binary: return QString::fromLatin1(v.toByteArray().toHex().toUpper());
    case FieldType::String: break;
    }
    return v.toString();
}

// ---- reading ------------------------------------------------------------------------------

struct Element {
    QString name;
    QList<std::pair<QString, QString>> attrs;
    QList<Element> children;

    const QString* attr(const QString& n) const {
        for (const auto& [k, v] : attrs)
            if (k.compare(n, Qt::CaseInsensitive) == 0)
                return &v;
        return nullptr;
    }
    const Element* child(const QString& n) const {
        for (const Element& c : children)
            if (c.name.compare(n, Qt::CaseInsensitive) == 0)
                return &c;
        return nullptr;
    }
};

// A minimal XML reader for the datapacket: elements, attributes, entity and character
// references, comments and processing instructions; text content is ignored.
class Parser {
public:
    explicit Parser(const QString& s) : s_(s) {}

    std::optional<Element> document(QString* error) {
        skipMisc();
        if (failed_ || pos_ >= s_.size())
            return fail(error, QStringLiteral("nenhum elemento encontrado"));
        auto root = element(0);
        if (!root)
            return fail(error, error_);
        skipMisc();
        if (failed_ || pos_ < s_.size())
            return fail(error, error_.isEmpty() ? QStringLiteral("conteúdo após o fim do documento")
                                                : error_);
        return root;
    }

private:
    std::optional<Element> fail(QString* error, const QString& why) {
        if (error)
            *error = why;
        return std::nullopt;
    }
    bool err(const QString& why) {
        if (!failed_)
            error_ = QStringLiteral("%1 (posição %2)").arg(why).arg(pos_);
        failed_ = true;
        return false;
    }
    bool starts(const char* t) const {
        return s_.mid(pos_, static_cast<qsizetype>(qstrlen(t))) == QLatin1String(t);
    }
    void skipSpace() {
        while (pos_ < s_.size() && s_[pos_].isSpace())
            ++pos_;
    }
    void skipMisc() {
        for (;;) {
            skipSpace();
            if (starts("<?")) {
                const auto e = s_.indexOf(QStringLiteral("?>"), pos_);
                if (e < 0) {
                    err(QStringLiteral("instrução de processamento sem fim"));
                    return;
                }
                pos_ = e + 2;
            } else if (starts("<!--")) {
                const auto e = s_.indexOf(QStringLiteral("-->"), pos_);
                if (e < 0) {
                    err(QStringLiteral("comentário sem fim"));
                    return;
                }
                pos_ = e + 3;
            } else if (starts("<!")) {
                const auto e = s_.indexOf(QLatin1Char('>'), pos_);
                if (e < 0) {
                    err(QStringLiteral("declaração sem fim"));
                    return;
                }
                pos_ = e + 1;
            } else {
                return;
            }
        }
    }
    QString name() {
        const auto start = pos_;
        while (pos_ < s_.size()) {
            const QChar c = s_[pos_];
            if (c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char(':') ||
                c == QLatin1Char('-') || c == QLatin1Char('.'))
                ++pos_;
            else
                break;
        }
        return s_.mid(start, pos_ - start);
    }
    std::optional<QString> attrValue() {
        if (pos_ >= s_.size() || (s_[pos_] != QLatin1Char('"') && s_[pos_] != QLatin1Char('\''))) {
            err(QStringLiteral("valor de atributo sem aspas"));
            return std::nullopt;
        }
        const QChar q = s_[pos_++];
        QString out;
        while (pos_ < s_.size() && s_[pos_] != q) {
            const QChar c = s_[pos_];
            if (c == QLatin1Char('<')) {
                err(QStringLiteral("'<' dentro de um valor de atributo"));
                return std::nullopt;
            }
            if (c != QLatin1Char('&')) {
                out += c;
                ++pos_;
                continue;
            }
            const auto semi = s_.indexOf(QLatin1Char(';'), pos_);
            if (semi < 0 || semi - pos_ > 12) {
                err(QStringLiteral("referência de entidade inválida"));
                return std::nullopt;
            }
            const QString ent = s_.mid(pos_ + 1, semi - pos_ - 1);
            pos_ = semi + 1;
            if (ent == QLatin1String("lt")) out += QLatin1Char('<');
            else if (ent == QLatin1String("gt")) out += QLatin1Char('>');
            else if (ent == QLatin1String("amp")) out += QLatin1Char('&');
            else if (ent == QLatin1String("quot")) out += QLatin1Char('"');
            else if (ent == QLatin1String("apos")) out += QLatin1Char('\'');
            else if (ent.startsWith(QLatin1Char('#'))) {
                bool ok = false;
                const uint code = (ent.size() > 1 && (ent[1] == QLatin1Char('x') || ent[1] == QLatin1Char('X')))
                                      ? ent.mid(2).toUInt(&ok, 16)
                                      : ent.mid(1).toUInt(&ok, 10);
                if (!ok || code == 0 || code > 0x10FFFF) {
                    err(QStringLiteral("referência de caractere inválida"));
                    return std::nullopt;
                }
                const char32_t c32 = code;
                out += QString::fromUcs4(&c32, 1);
            } else {
                err(QStringLiteral("entidade desconhecida &%1;").arg(ent));
                return std::nullopt;
            }
        }
        if (pos_ >= s_.size()) {
            err(QStringLiteral("valor de atributo sem fim"));
            return std::nullopt;
        }
        ++pos_;
        return out;
    }
    std::optional<Element> element(int depth) {
        if (depth > 32) {
            err(QStringLiteral("elementos aninhados demais"));
            return std::nullopt;
        }
        if (!starts("<")) {
            err(QStringLiteral("elemento esperado"));
            return std::nullopt;
        }
        ++pos_;
        Element e;
        e.name = name();
        if (e.name.isEmpty()) {
            err(QStringLiteral("nome de elemento esperado"));
            return std::nullopt;
        }
        for (;;) {
            skipSpace();
            if (pos_ >= s_.size()) {
                err(QStringLiteral("arquivo truncado"));
                return std::nullopt;
            }
            if (starts("/>")) {
                pos_ += 2;
                return e;
            }
            if (s_[pos_] == QLatin1Char('>')) {
                ++pos_;
                break;
            }
            const QString an = name();
            if (an.isEmpty()) {
                err(QStringLiteral("nome de atributo esperado"));
                return std::nullopt;
            }
            skipSpace();
            if (pos_ >= s_.size() || s_[pos_] != QLatin1Char('=')) {
                err(QStringLiteral("'=' esperado"));
                return std::nullopt;
            }
            ++pos_;
            skipSpace();
            auto v = attrValue();
            if (!v)
                return std::nullopt;
            e.attrs.append({an, *v});
        }
        // content
        for (;;) {
            while (pos_ < s_.size() && s_[pos_] != QLatin1Char('<'))
                ++pos_;
            if (pos_ >= s_.size()) {
                err(QStringLiteral("arquivo truncado: falta </%1>").arg(e.name));
                return std::nullopt;
            }
            if (starts("</")) {
                pos_ += 2;
                const QString end = name();
                skipSpace();
                if (end != e.name || pos_ >= s_.size() || s_[pos_] != QLatin1Char('>')) {
                    err(QStringLiteral("fim de elemento </%1> esperado").arg(e.name));
                    return std::nullopt;
                }
                ++pos_;
                return e;
            }
            if (starts("<!--") || starts("<?")) {
                skipMisc();
                if (failed_)
                    return std::nullopt;
                continue;
            }
            auto c = element(depth + 1);
            if (!c)
                return std::nullopt;
            e.children.append(std::move(*c));
        }
    }

    const QString& s_;
    qsizetype pos_ = 0;
    bool failed_ = false;
    QString error_;
};

std::optional<FieldType> parseType(const QString& t, bool autoinc) {
    const QString l = t.toLower();
    if (l == QLatin1String("i4") && autoinc)
        return FieldType::AutoInc;
    if (l == QLatin1String("i1") || l == QLatin1String("i2") || l == QLatin1String("i4") ||
        l == QLatin1String("ui1") || l == QLatin1String("ui2"))
        return FieldType::Integer;
    if (l == QLatin1String("i8") || l == QLatin1String("ui4") || l == QLatin1String("ui8"))
        return FieldType::LargeInt;
    if (l == QLatin1String("r4") || l == QLatin1String("r8") || l == QLatin1String("fixed"))
        return FieldType::Float;
    if (l == QLatin1String("string") || l == QLatin1String("string.uni"))
        return FieldType::String;
    if (l == QLatin1String("boolean"))
        return FieldType::Boolean;
    if (l == QLatin1String("date"))
        return FieldType::Date;
    if (l == QLatin1String("time"))
        return FieldType::Time;
    if (l == QLatin1String("datetime"))
        return FieldType::DateTime;
    if (l == QLatin1String("bin.hex"))
        return FieldType::Binary;
    return std::nullopt;
}

std::optional<QVariant> parseValue(const FieldDef& f, const QString& text) {
    bool ok = false;
    switch (f.type) {
    case FieldType::String: return QVariant(text);
    case FieldType::Integer:
    case FieldType::LargeInt:
    case FieldType::AutoInc: {
        if (text.isEmpty())
            return QVariant();
        const qint64 v = text.trimmed().toLongLong(&ok);
        if (!ok)
            return std::nullopt;
        if (f.type != FieldType::LargeInt && (v < INT32_MIN || v > INT32_MAX))
            return std::nullopt;
        return f.type == FieldType::LargeInt ? QVariant(v) : QVariant(static_cast<int>(v));
    }
    case FieldType::Float: {
        if (text.isEmpty())
            return QVariant();
        const double v = text.trimmed().toDouble(&ok);
        // NaN and infinities are no measurement; they are refused as config.xml refuses them.
        return ok && std::isfinite(v) ? std::optional<QVariant>(QVariant(v)) : std::nullopt;
    }
    case FieldType::Boolean: {
        if (text.isEmpty())
            return QVariant();
        if (text.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0)
            return QVariant(true);
        if (text.compare(QLatin1String("FALSE"), Qt::CaseInsensitive) == 0)
            return QVariant(false);
        return std::nullopt;
    }
    case FieldType::Date: {
        if (text.isEmpty())
            return QVariant();
        const QDate d = QDate::fromString(text, QStringLiteral("yyyyMMdd"));
        return d.isValid() ? std::optional<QVariant>(QVariant(d)) : std::nullopt;
    }
    case FieldType::Time: {
        if (text.isEmpty())
            return QVariant();
        QTime t = QTime::fromString(text.left(8), QStringLiteral("hh:mm:ss"));
        if (t.isValid() && text.size() > 8)
            t = t.addMSecs(text.mid(8).toInt());
        return t.isValid() ? std::optional<QVariant>(QVariant(t)) : std::nullopt;
    }
    case FieldType::DateTime: {
        if (text.isEmpty())
            return QVariant();
        const QDate d = QDate::fromString(text.left(8), QStringLiteral("yyyyMMdd"));
        QTime t(0, 0);
        if (text.size() > 9)
            t = QTime::fromString(text.mid(9, 8), QStringLiteral("hh:mm:ss"));
        if (!d.isValid() || !t.isValid())
            return std::nullopt;
        if (text.size() > 17)
            t = t.addMSecs(text.mid(17).toInt());
        return QVariant(QDateTime(d, t));
    }
    case FieldType::Binary: {
        if (text.isEmpty())
            return QVariant();
        return QVariant(QByteArray::fromHex(text.toLatin1()));
    }
    }
    return std::nullopt;
}

QString decodeBytes(const QByteArray& raw, QString* error) {
    QByteArray bytes = raw;
    bool utf8 = false;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        bytes.remove(0, 3);
        utf8 = true;
    }
    if (!utf8) {
        const auto start = bytes.indexOf("<?xml");
        const auto end = start >= 0 ? bytes.indexOf("?>", start) : -1;
        if (start >= 0 && end > start) {
            const QByteArray decl = bytes.mid(start, end - start).toLower();
            const auto e = decl.indexOf("encoding");
            if (e >= 0) {
                utf8 = decl.indexOf("utf-8", e) >= 0 || decl.indexOf("utf8", e) >= 0;
                if (!utf8 && decl.indexOf("1252", e) < 0 && decl.indexOf("8859-1", e) < 0 &&
                    decl.indexOf("latin", e) < 0) {
                    if (error)
                        *error = QStringLiteral("codificação de caracteres não suportada");
                    return {};
                }
            }
        } else {
            // No declaration: UTF-8 when the bytes are valid UTF-8.
            utf8 = QString::fromUtf8(bytes).toUtf8() == bytes;
        }
    }
    return utf8 ? QString::fromUtf8(bytes) : fromCp1252(bytes);
}

} // namespace

QByteArray writeDatapacket(const Table& table) {
    QString out = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>  "
        "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>");
    bool hasAutoInc = false;
    for (const FieldDef& f : table.fields()) {
        out += QStringLiteral("<FIELD attrname=\"%1\" fieldtype=\"%2\"").arg(escape(f.name), typeName(f));
        if (f.readOnly || f.type == FieldType::AutoInc)
            out += QStringLiteral(" readonly=\"true\"");
        if (f.required)
            out += QStringLiteral(" required=\"true\"");
        if (f.type == FieldType::AutoInc) {
            out += QStringLiteral(" SUBTYPE=\"Autoinc\"");
            hasAutoInc = true;
        }
        if (f.type == FieldType::String)
            out += QStringLiteral(" WIDTH=\"%1\"").arg(f.size);
        out += QStringLiteral("/>");
    }
    out += QStringLiteral("</FIELDS>");
    if (hasAutoInc)
        out += QStringLiteral("<PARAMS AUTOINCVALUE=\"%1\"/>").arg(table.autoIncValue());
    else
        out += QStringLiteral("<PARAMS/>");
    out += QStringLiteral("</METADATA><ROWDATA>");
    for (const Table::Row& r : table.allRows()) {
        out += QStringLiteral("<ROW");
        for (int i = 0; i < table.fieldCount(); ++i) {
            if (i >= r.size() || r[i].isNull())
                continue;
            const FieldDef& f = table.fields()[i];
            out += QStringLiteral(" %1=\"%2\"").arg(f.name, escape(valueText(f, r[i])));
        }
        out += QStringLiteral("/>");
    }
    out += QStringLiteral("</ROWDATA></DATAPACKET>");
    return out.toUtf8();
}

std::optional<Datapacket> readDatapacket(const QByteArray& bytes, QString* error) {
    auto fail = [&](const QString& why) -> std::optional<Datapacket> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (bytes.trimmed().isEmpty())
        return fail(QStringLiteral("o arquivo está vazio"));
    QString why;
    const QString text = decodeBytes(bytes, &why);
    if (!why.isEmpty())
        return fail(why);
    Parser parser(text);
    const auto root = parser.document(&why);
    if (!root)
        return fail(QStringLiteral("não é um arquivo XML válido: %1").arg(why));
    if (root->name.compare(QLatin1String("DATAPACKET"), Qt::CaseInsensitive) != 0)
        return fail(QStringLiteral("não é uma tabela de dados (elemento raiz <%1>)").arg(root->name));
    const Element* meta = root->child(QStringLiteral("METADATA"));
    const Element* fields = meta ? meta->child(QStringLiteral("FIELDS")) : nullptr;
    const Element* rowdata = root->child(QStringLiteral("ROWDATA"));
    if (!fields || !rowdata)
        return fail(QStringLiteral("tabela incompleta: faltam METADATA/FIELDS ou ROWDATA"));

    Datapacket p;
    for (const Element& fe : fields->children) {
        if (fe.name.compare(QLatin1String("FIELD"), Qt::CaseInsensitive) != 0)
            continue;
        const QString* an = fe.attr(QStringLiteral("attrname"));
        const QString* ft = fe.attr(QStringLiteral("fieldtype"));
        if (!an || an->isEmpty() || !ft)
            return fail(QStringLiteral("definição de campo sem nome ou sem tipo"));
        const QString* sub = fe.attr(QStringLiteral("SUBTYPE"));
        const bool autoinc = sub && sub->compare(QLatin1String("Autoinc"), Qt::CaseInsensitive) == 0;
        const auto type = parseType(*ft, autoinc);
        if (!type)
            return fail(QStringLiteral("campo \"%1\" de tipo não suportado \"%2\"").arg(*an, *ft));
        FieldDef d;
        d.name = *an;
        d.type = *type;
        d.fileType = ft->toLower() == QLatin1String("i4") || ft->toLower() == QLatin1String("r8") ||
                             ft->toLower() == QLatin1String("string")
                         ? QString()
                         : *ft;
        const QString* ro = fe.attr(QStringLiteral("readonly"));
        const QString* rq = fe.attr(QStringLiteral("required"));
        d.readOnly = ro && ro->compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
        d.required = rq && rq->compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
        if (const QString* w = fe.attr(QStringLiteral("WIDTH")))
            d.size = w->toInt();
        for (const FieldDef& other : p.fields)
            if (other.name.compare(d.name, Qt::CaseInsensitive) == 0)
                return fail(QStringLiteral("campo \"%1\" definido duas vezes").arg(d.name));
        p.fields.append(d);
    }
    if (p.fields.isEmpty())
        return fail(QStringLiteral("a tabela não define nenhum campo"));
    if (const Element* params = meta->child(QStringLiteral("PARAMS")))
        if (const QString* ai = params->attr(QStringLiteral("AUTOINCVALUE"))) {
            bool ok = false;
            const qint64 v = ai->toLongLong(&ok);
            if (!ok)
                return fail(QStringLiteral("AUTOINCVALUE inválido \"%1\"").arg(*ai));
            p.autoIncValue = v;
        }

    const Element* original = nullptr; // the superseded row that a modified row follows
    qint64 maxAuto = 0;
    for (const Element& re : rowdata->children) {
        if (re.name.compare(QLatin1String("ROW"), Qt::CaseInsensitive) != 0)
            continue;
        int state = 0;
        if (const QString* rs = re.attr(QStringLiteral("RowState"))) {
            bool ok = false;
            state = rs->toInt(&ok);
            if (!ok)
                return fail(QStringLiteral("RowState inválido \"%1\"").arg(*rs));
        }
        if (state & 1) {
            original = &re;
            continue;
        }
        if (state & 0x22) {
            original = nullptr;
            continue;
        }
        // A modified row may carry only its changed fields: the rest come from its original.
        const Element* base = (state & 8) ? original : nullptr;
        original = nullptr;
        Table::Row row(p.fields.size());
        for (int i = 0; i < p.fields.size(); ++i) {
            const QString* v = re.attr(p.fields[i].name);
            if (!v && base)
                v = base->attr(p.fields[i].name);
            if (!v)
                continue;
            const auto val = parseValue(p.fields[i], *v);
            if (!val)
                return fail(QStringLiteral("valor inválido \"%1\" no campo \"%2\"")
                                .arg(v->left(40), p.fields[i].name));
            row[i] = *val;
            if (p.fields[i].type == FieldType::AutoInc && !val->isNull())
                maxAuto = std::max(maxAuto, val->toLongLong());
        }
        p.rows.append(row);
    }
    // Never hand out an auto-increment value that a stored row already has.
    p.autoIncValue = std::max(p.autoIncValue, maxAuto + 1);
    return p;
}

bool saveTable(const Table& table, const QString& path, QString* error) {
    return writeWholeFile(path, writeDatapacket(table), error);
}

std::optional<Datapacket> loadDatapacket(const QString& path, QString* error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Não foi possível abrir o arquivo \"%1\": %2")
                         .arg(QDir::toNativeSeparators(path), f.errorString());
        return std::nullopt;
    }
    // A full logger memory saves to well under 2 MiB; anything this large is no data file
    // and would only tie the program up.
    if (f.size() > kMaxDatapacketBytes) {
        if (error)
            *error = QStringLiteral("O arquivo \"%1\" não pode ser lido como tabela de dados: "
                                    "o arquivo é grande demais para um arquivo de dados")
                         .arg(QDir::toNativeSeparators(path));
        return std::nullopt;
    }
    QString why;
    auto p = readDatapacket(f.readAll(), &why);
    if (!p && error)
        *error = QStringLiteral("O arquivo \"%1\" não pode ser lido como tabela de dados: %2")
                     .arg(QDir::toNativeSeparators(path), why);
    return p;
}

bool hasFields(const Datapacket& p, const QStringList& names, QString* error) {
    for (const QString& n : names) {
        bool found = false;
        for (const FieldDef& f : p.fields)
            found = found || f.name.compare(n, Qt::CaseInsensitive) == 0;
        if (!found) {
            if (error)
                *error = QStringLiteral("falta o campo \"%1\"").arg(n);
            return false;
        }
    }
    return true;
}

} // namespace acq
