#include "app/Application.h"

int main(int argc, char** argv) {
  kessmar::KessmarApplication application;
  return application.Run(argc, argv);
}
