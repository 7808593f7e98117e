#include "shell/documents.h"

namespace velmora::shell {

std::string documentFailureText(int code) {
  switch (code) {
    case 0: return "Falta memoria o archivo corrupto";
    case 2: return "Archivo no localizado";
    case 3: return "Path no localizado";
    case 5: return "Violación de compartición";
    case 6: return "Error de Data segment";
    case 8: return "Falta memoria para ejecutar";
    case 10: return "Version incorrecta de Windows";
    case 11: return "Programa inválido. no es de windows o corrupto";
    case 12: return "No es de windows el programa";
    case 13: return "Programa de MS-DOS";
    case 14: return "Tipo de programa desconocido";
    case 15: return "No corre en modo real";
    case 16: return "Ya esta corriendo el programa y solo permite una copia";
    case 19: return "Es un programa compactado";
    case 20: return "Falta una librería";
    case 21: return "Requires 32bit Para Windows";
    case 31: return "No hay programa asociado al archivo";
    default: return {};
  }
}

}  // namespace velmora::shell
