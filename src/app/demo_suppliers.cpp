#include "app/demo_suppliers.h"

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "shell/records.h"

namespace velmora::app {

namespace fs = std::filesystem;

namespace {

struct Colour {
  uint8_t r, g, b;
};

// A promotion picture: a background that shades from `top` to `bottom`,
// diagonal stripes, and a round price tag; `variant` moves the tag.
void writePromotion(const fs::path& file, Colour top, Colour bottom, int variant) {
  constexpr int kWidth = 480, kHeight = 300;
  const int rowBytes = (kWidth * 3 + 3) & ~3;
  std::vector<uint8_t> pixels(static_cast<size_t>(rowBytes) * kHeight, 0);
  const int cx = 150 + 90 * variant, cy = 150, radius = 80;
  for (int y = 0; y < kHeight; ++y) {
    const double t = static_cast<double>(y) / (kHeight - 1);
    for (int x = 0; x < kWidth; ++x) {
      Colour c{static_cast<uint8_t>(top.r + (bottom.r - top.r) * t),
               static_cast<uint8_t>(top.g + (bottom.g - top.g) * t),
               static_cast<uint8_t>(top.b + (bottom.b - top.b) * t)};
      if (((x + y) / 24) % 2 == 0)
        c = {static_cast<uint8_t>(c.r * 0.9), static_cast<uint8_t>(c.g * 0.9), static_cast<uint8_t>(c.b * 0.9)};
      const double d = std::hypot(x - cx, y - cy);
      if (d < radius) c = d > radius - 8 ? Colour{255, 255, 255} : Colour{220, 40, 40};
      if (y > kHeight - 40) c = {30, 30, 60};
      // BMP rows run from the bottom up, each pixel blue, green, red.
      uint8_t* p = &pixels[static_cast<size_t>(kHeight - 1 - y) * rowBytes + x * 3];
      p[0] = c.b;
      p[1] = c.g;
      p[2] = c.r;
    }
  }
  const auto put16 = [](std::ofstream& out, uint16_t v) {
    out.put(static_cast<char>(v & 0xFF)).put(static_cast<char>(v >> 8));
  };
  const auto put32 = [&](std::ofstream& out, uint32_t v) {
    put16(out, static_cast<uint16_t>(v & 0xFFFF));
    put16(out, static_cast<uint16_t>(v >> 16));
  };
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write("BM", 2);
  put32(out, static_cast<uint32_t>(54 + pixels.size()));
  put32(out, 0);
  put32(out, 54);
  put32(out, 40);
  put32(out, kWidth);
  put32(out, kHeight);
  put16(out, 1);
  put16(out, 24);
  put32(out, 0);
  put32(out, static_cast<uint32_t>(pixels.size()));
  put32(out, 2835);
  put32(out, 2835);
  put32(out, 0);
  put32(out, 0);
  out.write(reinterpret_cast<const char*>(pixels.data()), static_cast<std::streamsize>(pixels.size()));
}

struct DemoSupplier {
  int32_t account, type;
  const char *name, *street, *town, *city;
  int32_t postcode;
  const char *phone, *phone2, *fax, *mail, *web;
  int pictures;
  Colour top, bottom;
};

const DemoSupplier kSuppliers[] = {
    {1,
     1,
     "CEMENTOS DEL VALLE",
     "AV. INDUSTRIAL 120",
     "SANTA CATARINA",
     "MONTERREY",
     66350,
     "81 8336 1200",
     "81 8336 1201",
     "81 8336 1299",
     "ventas@cementosdelvalle.mx",
     "https://www.cementosdelvalle.mx",
     3,
     {240, 200, 60},
     {200, 120, 20}},
    {2,
     2,
     "RENTA DE MAQUINARIA PESADA",
     "CARRETERA A TOLUCA KM 18",
     "CUAJIMALPA",
     "CIUDAD DE MEXICO",
     5000,
     "55 5812 4400",
     "",
     "55 5812 4401",
     "renta@maquinariapesada.mx",
     "",
     2,
     {90, 160, 220},
     {20, 60, 140}},
    {3,
     3,
     "ACEROS Y VARILLAS DE OCCIDENTE",
     "CALZADA LAZARO CARDENAS 3200",
     "ZAPOPAN",
     "GUADALAJARA",
     45100,
     "33 3812 7700",
     "33 3812 7701",
     "",
     "contacto@acerosoccidente.mx",
     "https://www.acerosoccidente.mx",
     0,
     {},
     {}},
    {4,
     4,
     "FERRETERIA LA ESCUADRA",
     "5 DE MAYO 410",
     "CENTRO",
     "PUEBLA",
     72000,
     "222 242 1010",
     "",
     "",
     "escuadra@ferreteria.mx",
     "",
     1,
     {120, 200, 120},
     {30, 110, 50}},
    {5,
     1,
     "BLOQUES Y AGREGADOS DEL NORTE",
     "BLVD. AGUA CALIENTE 88",
     "OTAY",
     "TIJUANA",
     22430,
     "664 681 3300",
     "",
     "664 681 3301",
     "bloques@agregadosnorte.mx",
     "https://www.agregadosnorte.mx",
     0,
     {},
     {}},
};

const std::pair<int32_t, const char*> kTypes[] = {
    {1, "MATERIALES PARA CONSTRUCCION"}, {2, "RENTA DE MAQUINARIA"}, {3, "ACERO Y PREFABRICADOS"}, {4, "FERRETERIA"}};

}  // namespace

Status fillDemoSuppliers(const tables::Installation& inst, ErrorReporter& errors) {
  auto tipa = inst.table("TIPA", errors);
  if (Status s = tipa->open(); !s) return s;
  for (const auto& [account, description] : kTypes) {
    tipa->rec().clear();
    tipa->rec().setInteger("CTA", account);
    if (const tables::Found known = tipa->fetch(tipa->keyIndex("CTA_KEY")); known.failed()) return known.status();
    else if (known.found()) continue;
    tipa->rec() = shell::supplierTypeRecord({account, description});
    if (Status s = tipa->insert(); !s) return s;
  }

  std::error_code ec;
  fs::create_directories(inst.dataDir / kPromotionsFolder, ec);
  auto patr = inst.table("PATR", errors);
  if (Status s = patr->open(); !s) return s;
  for (const DemoSupplier& d : kSuppliers) {
    for (int i = 1; i <= d.pictures; ++i) {
      const fs::path picture =
          inst.dataDir / kPromotionsFolder / ("PROV" + std::to_string(d.account) + "_" + std::to_string(i) + ".bmp");
      if (!fs::exists(picture, ec)) writePromotion(picture, d.top, d.bottom, i - 1);
    }
    patr->rec().clear();
    patr->rec().setInteger("CTA", d.account);
    if (const tables::Found known = patr->fetch(patr->keyIndex("CTA_KEY")); known.failed()) return known.status();
    else if (known.found()) continue;
    shell::Supplier supplier;
    supplier.account = d.account;
    supplier.type = d.type;
    supplier.name = d.name;
    supplier.street = d.street;
    supplier.town = d.town;
    supplier.city = d.city;
    supplier.postcode = d.postcode;
    supplier.phone = d.phone;
    supplier.phone2 = d.phone2;
    supplier.fax = d.fax;
    supplier.mail = d.mail;
    supplier.web = d.web;
    for (int i = 1; i <= d.pictures; ++i) {
      supplier.promotions[i - 1] =
          std::string(kPromotionsFolder) + "/PROV" + std::to_string(d.account) + "_" + std::to_string(i) + ".bmp";
    }
    patr->rec() = shell::supplierRecord(supplier);
    if (Status s = patr->insert(); !s) return s;
  }

  // The maker's address, shown for a supplier without a web page.
  const fs::path conf = (inst.settingsDir.empty() ? inst.dataDir : inst.settingsDir) / "velmora.conf";
  if (!fs::exists(conf, ec)) std::ofstream(conf) << "[Fabricante]\nSitioWeb=https://www.velmora.mx\n";
  return Status::ok();
}

}  // namespace velmora::app
