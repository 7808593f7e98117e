#include "framework/whole_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>
#include <vector>

namespace velmora {

namespace fs = std::filesystem;

namespace {

Status failure(const fs::path& path, const std::string& what) {
  return Status::error(Status::Code::kIoError, what + " " + path.string() + ": " + fileErrorText(errno));
}

}  // namespace

std::string fileErrorText(int error) {
  switch (error) {
    case ENOENT: return "no existe el archivo o su carpeta";
    case ENOTDIR: return "una parte de la ruta no es una carpeta";
    case EISDIR: return "es una carpeta";
    case EACCES:
    case EPERM: return "no hay permiso";
    case EROFS: return "el disco es de solo lectura";
    case ENOSPC: return "no queda espacio en el disco";
#ifdef EDQUOT
    case EDQUOT: return "se agotó la cuota de disco";
#endif
    case EIO: return "error de entrada y salida del disco";
    case ENAMETOOLONG: return "el nombre es demasiado largo";
    case EEXIST: return "ya existe";
    default: return "error del sistema " + std::to_string(error);
  }
}

Status writeWholeFile(const fs::path& target, std::string_view bytes, WholeFileAccess access) {
  const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::random_device random;
  const fs::path scratch = dir / ("." + target.filename().string() + ".velmora-" + std::to_string(random() % 1000000));
  const int fd = ::open(scratch.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                        access == WholeFileAccess::kOwnerOnly ? 0600 : 0644);
  if (fd < 0) return failure(target, "no se pudo escribir");
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const Status s = failure(target, "no se pudo escribir");
      ::close(fd);
      ::unlink(scratch.c_str());
      return s;
    }
    done += static_cast<size_t>(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    const Status s = failure(target, "no se pudo escribir");
    ::unlink(scratch.c_str());
    return s;
  }
  if (::rename(scratch.c_str(), target.c_str()) != 0) {
    const Status s = failure(target, "no se pudo escribir");
    ::unlink(scratch.c_str());
    return s;
  }
  if (const int d = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); d >= 0) {
    ::fsync(d);
    ::close(d);
  }
  return Status::ok();
}

Status readWholeFile(const fs::path& source, size_t limit, std::string* bytes) {
  std::error_code ec;
  if (!fs::is_regular_file(source, ec)) {
    return Status::error(Status::Code::kNotFound, "no existe el archivo " + source.string());
  }
  const auto size = fs::file_size(source, ec);
  if (ec) return Status::error(Status::Code::kIoError, "no se pudo leer " + source.string());
  if (size > limit)
    return Status::error(Status::Code::kInvalid,
                         "el archivo " + source.string() + " pasa de " + std::to_string(limit >> 20) + " MB");
  std::ifstream in(source, std::ios::binary);
  bytes->assign(static_cast<size_t>(size), '\0');
  if (!in.read(bytes->data(), static_cast<std::streamsize>(size)))
    return Status::error(Status::Code::kIoError, "no se pudo leer " + source.string());
  return Status::ok();
}

bool sameFileBytes(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::file_size(a, ec) != fs::file_size(b, ec) || ec) return false;
  std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
  std::vector<char> bx(1 << 16), by(1 << 16);
  while (x && y) {
    x.read(bx.data(), static_cast<std::streamsize>(bx.size()));
    y.read(by.data(), static_cast<std::streamsize>(by.size()));
    if (x.gcount() != y.gcount() || !std::equal(bx.begin(), bx.begin() + x.gcount(), by.begin())) return false;
  }
  return x.eof() && y.eof();
}

}  // namespace velmora
