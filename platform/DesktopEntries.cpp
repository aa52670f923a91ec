#include "platform/DesktopEntries.h"

#include "platform/ConcurrentQueue.h"
#include "platform/Paths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <memory>
#include <mutex>

namespace {

struct Index
{
    // Executable path (as the system names it, without the root) to icon.
    QHash<QString, QString> byPath;
    // Program file name to icon, for entries whose program is found nowhere.
    QHash<QString, QString> byName;
};

// What an index is read from, taken from the environment on the thread that
// asks: the worker that reads the folders never touches the environment,
// which another thread may be changing.
struct Sources
{
    QString root;
    QStringList folders;
    QStringList pathFolders;
};

std::mutex g_mutex;
std::shared_ptr<const Index> g_index;
// The root the index was read under; another root is another system.
QString g_indexRoot;

// The entry's value text with the format's string escapes undone.
QString unescapedValue(const QString& value)
{
    QString result;
    result.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 >= value.size()) {
            result.append(c);
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case 's':
            result.append(QLatin1Char(' '));
            break;
        case 'n':
            result.append(QLatin1Char('\n'));
            break;
        case 't':
            result.append(QLatin1Char('\t'));
            break;
        case 'r':
            result.append(QLatin1Char('\r'));
            break;
        case '\\':
            result.append(QLatin1Char('\\'));
            break;
        default:
            // The Exec= quoting's own escapes stay for it to read.
            result.append(QLatin1Char('\\'));
            result.append(next);
            break;
        }
    }
    return result;
}

// The words of an Exec= value: blanks separate them, double quotes group,
// and inside quotes a backslash escapes the next character.
QStringList execWords(const QString& exec)
{
    QStringList words;
    QString word;
    bool inWord = false;
    bool quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (quoted) {
            if (c == QLatin1Char('"'))
                quoted = false;
            else if (c == QLatin1Char('\\') && i + 1 < exec.size())
                word.append(exec.at(++i));
            else
                word.append(c);
        } else if (c == QLatin1Char('"')) {
            quoted = true;
            inWord = true;
        } else if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            if (inWord)
                words.append(word);
            word.clear();
            inWord = false;
        } else {
            if (c == QLatin1Char('\\') && i + 1 < exec.size())
                word.append(exec.at(++i));
            else
                word.append(c);
            inWord = true;
        }
    }
    if (inWord)
        words.append(word);
    return words;
}

QString withoutRoot(const QString& path, const QString& root)
{
    if (root.isEmpty())
        return path;
    if (path.startsWith(root + QLatin1Char('/')))
        return path.mid(root.size());
    return {};
}

Sources currentSources()
{
    const QString path = qEnvironmentVariable("PATH", QStringLiteral("/usr/local/bin:/usr/bin:/bin"));
    return {Paths::root(), DesktopEntries::applicationFolders(),
            path.split(QLatin1Char(':'), Qt::SkipEmptyParts)};
}

// The system paths a program word names: the file itself and where a link
// there leads (both without the root).
QStringList pathsOfProgram(const QString& program, const QStringList& pathFolders, const QString& root)
{
    QString found;
    if (program.startsWith(QLatin1Char('/'))) {
        found = QDir::cleanPath(program);
    } else if (!program.contains(QLatin1Char('/'))) {
        for (const QString& folder : pathFolders) {
            if (!folder.startsWith(QLatin1Char('/')))
                continue;
            const QString candidate = QDir::cleanPath(folder + QLatin1Char('/') + program);
            if (QFileInfo(root + candidate).isFile()) {
                found = candidate;
                break;
            }
        }
    }
    if (found.isEmpty())
        return {};
    QStringList paths{found};
    const QString target = withoutRoot(QFileInfo(root + found).canonicalFilePath(), root);
    if (!target.isEmpty() && target != found)
        paths.append(target);
    return paths;
}

struct Entry
{
    bool isApplication = false;
    bool hidden = false;
    QString exec;
    QString tryExec;
    QString icon;
};

Entry readEntry(const QString& file)
{
    Entry entry;
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly | QIODevice::Text))
        return entry;
    bool inMainGroup = false;
    while (!input.atEnd()) {
        const QString line = QString::fromUtf8(input.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            // Only the main group describes the program; actions come later.
            if (inMainGroup)
                break;
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QLatin1String("Type"))
            entry.isApplication = value == QLatin1String("Application");
        else if (key == QLatin1String("Hidden"))
            entry.hidden = value == QLatin1String("true");
        else if (key == QLatin1String("Exec"))
            entry.exec = value;
        else if (key == QLatin1String("TryExec"))
            entry.tryExec = unescapedValue(value);
        else if (key == QLatin1String("Icon"))
            entry.icon = unescapedValue(value);
    }
    return entry;
}

// Interpreters and shells: an entry that hands one a script or a command
// ("python3 /usr/share/x/x.py", "java -jar x.jar") starts that script, and
// the interpreter, which runs every other script too, is not its program.
bool isInterpreter(const QString& program)
{
    static const QRegularExpression names(QStringLiteral(
        "^(sh|bash|dash|zsh|ksh|csh|tcsh|fish|python[0-9.]*|perl[0-9.]*|ruby[0-9.]*|php[0-9.]*|"
        "node(js)?|lua[0-9.]*|tclsh[0-9.]*|wish[0-9.]*|java|mono|wine|gjs|guile[0-9.]*)$"));
    return names.match(program.section(QLatin1Char('/'), -1)).hasMatch();
}

bool isShell(const QString& program)
{
    static const QRegularExpression names(QStringLiteral("^(sh|bash|dash|zsh|ksh)$"));
    return names.match(program.section(QLatin1Char('/'), -1)).hasMatch();
}

bool isFieldCode(const QString& word)
{
    return word.size() == 2 && word.at(0) == QLatin1Char('%');
}

// The index of the program among an Exec= value's words: past an "env" and
// its assignments; -1 when there is none.
qsizetype programWordOf(const QStringList& words)
{
    qsizetype first = 0;
    if (!words.isEmpty() &&
        (words.first() == QLatin1String("env") || words.first().endsWith(QLatin1String("/env")))) {
        first = 1;
        while (first < words.size() && words.at(first).contains(QLatin1Char('=')))
            ++first;
    }
    return first < words.size() ? first : -1;
}

// The program an Exec= value starts for itself: an interpreter only when it
// is given nothing but options and the files the desktop passes (field
// codes), and for "sh -c COMMAND" the program of the command; "" when the
// entry hands its interpreter a script.
QString ownProgramOfExec(const QStringList& words, int depth = 0)
{
    const qsizetype program = programWordOf(words);
    if (program < 0)
        return {};
    const QString& name = words.at(program);
    if (!isInterpreter(name))
        return name;
    static const QStringList takingWork{QStringLiteral("-c"), QStringLiteral("-m"), QStringLiteral("-e"),
                                        QStringLiteral("-jar")};
    for (qsizetype i = program + 1; i < words.size(); ++i) {
        const QString& word = words.at(i);
        if (isFieldCode(word))
            continue;
        if (!word.startsWith(QLatin1Char('-')))
            return {};
        if (!takingWork.contains(word) || i + 1 >= words.size() || isFieldCode(words.at(i + 1)))
            continue;
        if (word != QLatin1String("-c") || !isShell(name) || depth > 0)
            return {};
        QStringList command = execWords(words.at(i + 1));
        if (!command.isEmpty() && command.first() == QLatin1String("exec"))
            command.removeFirst();
        return ownProgramOfExec(command, depth + 1);
    }
    return name;
}

// A program is also started by the links to it on PATH ("python3" leads to
// "python3.11", "vim" through the alternatives to "vim.basic"), and the agent
// may be shown either; each link takes the icon of the file it leads to.
void addLinksToPrograms(Index& index, const QStringList& pathFolders, const QString& root)
{
    if (index.byPath.isEmpty())
        return;
    for (const QString& folder : pathFolders) {
        if (!folder.startsWith(QLatin1Char('/')))
            continue;
        QDirIterator it(root + QDir::cleanPath(folder), QDir::Files);
        while (it.hasNext()) {
            it.next();
            const QFileInfo link = it.fileInfo();
            if (!link.isSymLink())
                continue;
            const QString path = withoutRoot(link.absoluteFilePath(), root);
            if (path.isEmpty() || index.byPath.contains(path))
                continue;
            const QString target = withoutRoot(link.canonicalFilePath(), root);
            const auto icon = index.byPath.constFind(target);
            if (icon != index.byPath.constEnd())
                index.byPath.insert(path, icon.value());
        }
    }
}

std::shared_ptr<const Index> buildIndex(const Sources& sources)
{
    auto index = std::make_shared<Index>();
    const QString& root = sources.root;
    const QStringList& pathFolders = sources.pathFolders;
    // An entry of a more important folder hides one of the same id further on.
    QSet<QString> seenIds;
    for (const QString& folder : sources.folders) {
        QStringList files;
        QDirIterator it(folder, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(it.next());
        files.sort();
        for (const QString& file : std::as_const(files)) {
            QString id = file.mid(folder.size() + 1);
            id.replace(QLatin1Char('/'), QLatin1Char('-'));
            if (seenIds.contains(id))
                continue;
            seenIds.insert(id);
            // NoDisplay= only keeps an entry out of menus: it still describes
            // its program.
            const Entry entry = readEntry(file);
            if (!entry.isApplication || entry.hidden || entry.icon.isEmpty())
                continue;
            const QString execProgram = ownProgramOfExec(execWords(unescapedValue(entry.exec)));
            // A TryExec= that names the interpreter the entry hands a script
            // is the script's check, not its program.
            const bool tryExecHosts = execProgram.isEmpty() && isInterpreter(entry.tryExec);
            for (const QString& program : {tryExecHosts ? QString() : entry.tryExec, execProgram}) {
                if (program.isEmpty())
                    continue;
                for (const QString& path : pathsOfProgram(program, pathFolders, root))
                    if (!index->byPath.contains(path))
                        index->byPath.insert(path, entry.icon);
                const QString name = program.section(QLatin1Char('/'), -1);
                if (!name.isEmpty() && !index->byName.contains(name))
                    index->byName.insert(name, entry.icon);
            }
        }
    }
    addLinksToPrograms(*index, pathFolders, root);
    return index;
}

// The index for `root`; read from the sources `sources()` gives when there
// is none yet for that root.
template <class SourcesOf> std::shared_ptr<const Index> indexFor(const QString& root, SourcesOf sources)
{
    std::lock_guard lock(g_mutex);
    if (!g_index || g_indexRoot != root) {
        g_index = buildIndex(sources());
        g_indexRoot = root;
    }
    return g_index;
}

} // namespace

QString DesktopEntries::iconNameForExecutable(const QString& executablePath)
{
    if (executablePath.isEmpty())
        return {};
    const std::shared_ptr<const Index> index = indexFor(Paths::root(), currentSources);
    if (index->byPath.isEmpty() && index->byName.isEmpty())
        return {};
    // A load asks for every app: paths that need no cleaning are not copied.
    const bool clean =
        !executablePath.contains(QLatin1String("//")) && !executablePath.contains(QLatin1String("/."));
    const auto byPath = index->byPath.constFind(clean ? executablePath : QDir::cleanPath(executablePath));
    if (byPath != index->byPath.constEnd())
        return byPath.value();
    const qsizetype slash = executablePath.lastIndexOf(QLatin1Char('/'));
    return index->byName.value(QStringView(executablePath).mid(slash + 1).toString());
}

namespace {

// The reading ahead has a thread of its own: the agent's pools belong to the
// agent, and one read at a time is all it needs.
ConcurrentQueue& readingQueue()
{
    static ConcurrentQueue queue(QStringLiteral("desktopEntries"), 1);
    return queue;
}

} // namespace

void DesktopEntries::prepare()
{
    const Sources sources = currentSources();
    readingQueue().async([sources] { indexFor(sources.root, [&sources] { return sources; }); });
}

void DesktopEntries::reset()
{
    // A read started before must not put its index back afterwards.
    readingQueue().waitForDone();
    std::lock_guard lock(g_mutex);
    g_index.reset();
}

QStringList DesktopEntries::applicationFolders()
{
    QStringList folders;
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (!dataHome.startsWith(QLatin1Char('/')))
        dataHome = Paths::home(QStringLiteral("~/.local/share"));
    folders.append(dataHome + QStringLiteral("/applications"));
    QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dataDirs.isEmpty())
        dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& dir : dataDirs.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        if (dir.startsWith(QLatin1Char('/')))
            folders.append(Paths::system(QDir::cleanPath(dir) + QStringLiteral("/applications")));
    folders.removeDuplicates();
    return folders;
}

QString DesktopEntries::programOfExec(const QString& exec)
{
    const QStringList words = execWords(exec);
    const qsizetype program = programWordOf(words);
    return program < 0 ? QString() : words.at(program);
}
