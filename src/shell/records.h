// The installation's settings, its users and its suppliers as the program
// reads them, each with its mapper from and to its table's record.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "framework/status.h"
#include "tables/record.h"
#include "tables/table.h"

namespace velmora::shell {

// The settings (VGA, one record numbered 1): the company and the master
// account. The password is in its stored form.
struct InstallationSettings {
  std::string company;         // CIA
  std::string masterLogin;     // LOGIN
  std::string masterPassword;  // CLAV
};
InstallationSettings settingsOf(const tables::Record& vga);
// Record 1 holding `settings`.
tables::Record settingsRecord(const InstallationSettings& settings);
// Reads record 1 of the open settings table (left in its buffer).
Status readSettings(tables::Table& vga, InstallationSettings* settings);

// A user (PERS). The password is in its stored form; the levels are those
// of the twenty program elements.
struct User {
  int32_t account = 0;               // CTA
  std::string name;                  // NOMB
  std::string login;                 // LOGIN
  std::string password;              // PASS
  std::array<uint8_t, 20> levels{};  // PRES
};
User userOf(const tables::Record& pers);
// A new PERS record holding `user`; the other access tables blank.
tables::Record userRecord(const User& user);
// Sets the stored password of the user in `pers`, leaving the rest as read.
void setUserPassword(tables::Record& pers, const std::string& stored);

// A supplier of the directory (PATR) and the promotions it shows.
struct Supplier {
  int32_t account = 0;                    // CTA
  int32_t type = 0;                       // TIPO: a supplier type
  std::string name;                       // NOMB
  std::string street, town, city;         // DIRE, POBL, CIUD
  int32_t postcode = 0;                   // CODI
  std::string phone, phone2, fax;         // TELE, TEL2, FAX
  std::string mail, web;                  // MAIL, WEB
  std::array<std::string, 5> promotions;  // PROM: picture files, from the data folder
  std::string comment;                    // COME
};
Supplier supplierOf(const tables::Record& patr);
tables::Record supplierRecord(const Supplier& supplier);

// A supplier type (TIPA).
struct SupplierType {
  int32_t account = 0;      // CTA
  std::string description;  // DESC
};
SupplierType supplierTypeOf(const tables::Record& tipa);
tables::Record supplierTypeRecord(const SupplierType& type);

}  // namespace velmora::shell
