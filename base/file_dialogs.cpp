#include "base/file_dialogs.h"
#include "base/conversions.h"

#include <QFileInfo>

namespace quorvex {

namespace {

constexpr QChar Nul(u'\0');

// Positions of one pair in a NUL-separated filter starting at `pos`.
struct PairSpan {
    qsizetype start = 0;
    qsizetype descriptionEnd = -1; // NUL after the description, -1 when missing
    qsizetype end = 0;             // NUL after the pattern, or the end of the text
};

template <typename Visit> void WalkPairs(const QString& f, Visit visit) {
    qsizetype pos = 0;
    while (pos < f.size() && f.at(pos) != Nul) {
        PairSpan p;
        p.start = pos;
        p.descriptionEnd = f.indexOf(Nul, pos);
        const qsizetype patternEnd =
            p.descriptionEnd < 0 ? -1 : f.indexOf(Nul, p.descriptionEnd + 1);
        p.end = patternEnd < 0 ? f.size() : patternEnd;
        if (!visit(p) || patternEnd < 0)
            return;
        pos = patternEnd + 1;
    }
}

QString ChosenFileName(const QStringList& files) {
    if (files.size() <= 1)
        return files.value(0);
    // The folder, then each name, NUL-separated.
    QStringList parts{QFileInfo(files.first()).absolutePath()};
    for (const QString& f : files)
        parts << QFileInfo(f).fileName();
    return parts.join(Nul);
}

// Shows the dialog and copies the answer back; a cancel or a failure empties the texts.
FileDialogAnswer Run(FileDialogBackend& backend, Guard& guard, FileDialogRequest& request,
                     DialogCall& t) {
    const QString system = SystemFilter(t.filter);
    request.fileName = t.fileName;
    request.filters = FilterPairs(system);
    request.filterIndex = t.filterIndex;
    request.flags &= ~(OFN_ENABLEHOOK | OFN_ENABLETEMPLATE);
    if (request.initialFolder.isEmpty())
        request.initialFolder = FolderPart(t.fileName);

    FileDialogAnswer answer;
    guard.step([&] { answer = backend.show(request); });
    if (!answer.chosen || answer.files.isEmpty()) {
        t.fileName.clear();
        t.fileTitle.clear();
        t.filter.clear();
        t.flags = 0;
        return FileDialogAnswer{};
    }
    const bool multi = request.flags & OFN_ALLOWMULTISELECT;
    t.fileName = ChosenFileName(answer.files);
    t.fileTitle = multi ? QString() : QFileInfo(answer.files.first()).fileName();
    t.flags = answer.flags;
    t.filterIndex = answer.filterIndex;
    t.filter = FilterLookup(system, answer.filterIndex);
    return answer;
}

} // namespace

QString SystemFilter(const QString& filter) {
    QString out = filter;
    out.replace(QLatin1Char('|'), Nul);
    out.replace(QLatin1Char(':'), Nul);
    return out + Nul + Nul;
}

QList<FilterPair> FilterPairs(const QString& systemFilter) {
    QList<FilterPair> pairs;
    WalkPairs(systemFilter, [&](const PairSpan& p) {
        if (p.descriptionEnd < 0)
            pairs.append({systemFilter.mid(p.start, p.end - p.start), QString()});
        else
            pairs.append({systemFilter.mid(p.start, p.descriptionEnd - p.start),
                          systemFilter.mid(p.descriptionEnd + 1, p.end - p.descriptionEnd - 1)});
        return true;
    });
    return pairs;
}

QString FilterLookup(const QString& systemFilter, int index) {
    QString found;
    int n = 0;
    WalkPairs(systemFilter, [&](const PairSpan& p) {
        if (++n != index)
            return true;
        found = systemFilter.mid(p.start, p.end - p.start);
        return false;
    });
    return found;
}

QString QtNameFilter(const FilterPair& pair) {
    QString description = pair.description.trimmed();
    // A description that already names its patterns in brackets gets them from the pattern.
    if (description.endsWith(QLatin1Char(')')) && description.contains(QLatin1Char('(')))
        description = description.left(description.lastIndexOf(QLatin1Char('('))).trimmed();
    QStringList patterns;
    for (QString p : pair.pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        p = p.trimmed();
        if (p == QLatin1String("*.*"))
            p = QStringLiteral("*"); // every file, with or without an extension
        // Extensions are written in one case but files come in either.
        for (const QString& variant : {p, p.toLower(), p.toUpper()})
            if (!patterns.contains(variant))
                patterns << variant;
    }
    if (patterns.isEmpty())
        patterns << QStringLiteral("*");
    return description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

QString WithDefaultExtension(const QString& path, const QString& extension,
                             const FilterPair& chosenFilter) {
    if (extension.isEmpty() || path.isEmpty())
        return path;
    const QString dotted = QLatin1Char('.') + extension;
    if (path.endsWith(dotted, Qt::CaseInsensitive))
        return path;
    const QString wanted = QLatin1Char('*') + dotted;
    for (const QString& p : chosenFilter.pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        if (p.trimmed().compare(wanted, Qt::CaseInsensitive) == 0)
            return path + dotted;
    return path;
}

namespace {

FileDialogRequest RequestOf(FileDialogRequest::Kind kind, const DialogCall& call) {
    FileDialogRequest request;
    request.kind = kind;
    request.initialFolder = call.initialFolder;
    request.title = call.title;
    request.defaultExtension = call.defaultExtension;
    request.owner = call.owner;
    return request;
}

} // namespace

bool OpenDialog(FileDialogBackend& backend, ErrorSink& log, DialogCall& call) {
    Guard guard(log, Place::Module(QStringLiteral("OpenDialog"), QStringLiteral("modDLG")));
    FileDialogRequest request = RequestOf(FileDialogRequest::Kind::Open, call);
    request.flags = call.flags | (call.fileMustExist ? OFN_FILEMUSTEXIST : 0) |
                    (call.multiSelect ? OFN_ALLOWMULTISELECT : 0) |
                    (call.readOnly ? OFN_READONLY : 0) | (call.hideReadOnly ? OFN_HIDEREADONLY : 0);
    const FileDialogAnswer answer = Run(backend, guard, request, call);
    if (answer.chosen && (answer.flags & OFN_READONLY))
        call.readOnly = true;
    return answer.chosen;
}

bool SaveDialog(FileDialogBackend& backend, ErrorSink& log, DialogCall& call) {
    Guard guard(log, Place::Module(QStringLiteral("SaveDialog"), QStringLiteral("modDLG")));
    FileDialogRequest request = RequestOf(FileDialogRequest::Kind::Save, call);
    request.flags =
        call.flags | OFN_HIDEREADONLY | (call.askBeforeOverwriting ? OFN_OVERWRITEPROMPT : 0);
    return Run(backend, guard, request, call).chosen;
}

} // namespace quorvex
