#include "base/file_dialogs.h"
#include "base/conversions.h"

namespace quorvex {

namespace {

std::optional<QString> Run(FileDialogBackend& backend, const QString& procedure,
                           FileDialogRequest& request, ErrorSink& log) {
    Guard guard(log, Place::Module(procedure, QStringLiteral("modDLG")));
    if (request.folder.isEmpty())
        request.folder = FolderPart(request.fileName);
    std::optional<QString> chosen;
    guard.step([&] { chosen = backend.show(request); });
    if (chosen && chosen->isEmpty())
        return std::nullopt;
    return chosen;
}

} // namespace

FilterPair AllFilesFilter() {
    return {QStringLiteral("All Files (*.*)"), QStringLiteral("*.*")};
}

std::optional<QString> OpenDialog(FileDialogBackend& backend, ErrorSink& log,
                                  FileDialogRequest request) {
    request.kind = FileDialogRequest::Kind::Open;
    return Run(backend, QStringLiteral("OpenDialog"), request, log);
}

std::optional<QString> SaveDialog(FileDialogBackend& backend, ErrorSink& log,
                                  FileDialogRequest request) {
    request.kind = FileDialogRequest::Kind::Save;
    return Run(backend, QStringLiteral("SaveDialog"), request, log);
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

} // namespace quorvex
