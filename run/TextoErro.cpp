#include "run/TextoErro.h"

std::string ComPontoFinal(const std::string& texto) {
  if (!texto.empty() && static_cast<unsigned char>(texto.back()) > '.') return texto + '.';
  return texto;
}
