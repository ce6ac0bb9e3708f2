// Program entry: set up the application, show the main window, run the loop.
#include <QApplication>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  return app.exec();
}
