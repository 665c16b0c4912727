#include "CommandLine.h"

#include "platform/ToolkitTranslations.h"

#include "VarnelleFullVersion.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <string_view>

std::optional<int> AnswerCommandLine(int argc, char* argv[]) {
    // Only these flags are answered here: any other command line, including
    // Qt's own options such as -platform, goes to the QApplication untouched.
    bool asked = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        asked = asked || arg == "-h" || arg == "-?" || arg == "--help" || arg == "--help-all" ||
                arg == "-v" || arg == "--version";
    }
    if (!asked)
        return std::nullopt;

    QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Varnelle"));
    // The same full version as the About window shows.
    QCoreApplication::setApplicationVersion(QStringLiteral(VARNELLE_FULL_VERSION));
    LoadToolkitTranslations(core); // the parser's own words, like the windows', are Chinese

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("从 ScienceDirect 网站收集期刊文章的全文 PDF 文件。\n"
                       "不带选项时打开启动窗口；设置保存在 ~/.config/Varnelle/Varnelle.conf。"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(core); // prints the answer and ends the process
    return 0;
}
