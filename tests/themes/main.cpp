#include <QApplication>

int runFileCommandTests(int argc, char** argv);
int runNewCommandTests(int argc, char** argv);

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int failed = runFileCommandTests(argc, argv);
    failed += runNewCommandTests(argc, argv);
    return failed;
}
