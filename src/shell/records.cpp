#include "shell/records.h"

#include "tables/catalogue.h"

namespace velmora::shell {

InstallationSettings settingsOf(const tables::Record& r) { return {r.text("CIA"), r.text("LOGIN"), r.text("CLAV")}; }

tables::Record settingsRecord(const InstallationSettings& s) {
  tables::Record r(tables::tableDef("VGA"));
  r.setInteger("CTA", 1);
  r.setText("CIA", s.company);
  r.setText("LOGIN", s.masterLogin);
  r.setText("CLAV", s.masterPassword);
  return r;
}

Status readSettings(tables::Table& vga, InstallationSettings* settings) {
  vga.rec().clear();
  vga.rec().setInteger("CTA", 1);
  if (Status s = vga.fetch(vga.keyIndex("CTA_KEY")); !s) return s;
  *settings = settingsOf(vga.rec());
  return Status::ok();
}

User userOf(const tables::Record& r) {
  User u;
  u.account = static_cast<int32_t>(r.integer("CTA"));
  u.name = r.text("NOMB");
  u.login = r.text("LOGIN");
  u.password = r.text("PASS");
  for (int i = 1; i <= 20; ++i) u.levels[i - 1] = static_cast<uint8_t>(r.integer("PRES", i));
  return u;
}

tables::Record userRecord(const User& u) {
  tables::Record r(tables::tableDef("PERS"));
  r.setInteger("CTA", u.account);
  r.setText("NOMB", u.name);
  r.setText("LOGIN", u.login);
  r.setText("PASS", u.password);
  for (int i = 1; i <= 20; ++i) r.setInteger("PRES", u.levels[i - 1], i);
  return r;
}

void setUserPassword(tables::Record& pers, const std::string& stored) { pers.setText("PASS", stored); }

Supplier supplierOf(const tables::Record& r) {
  Supplier p;
  p.account = static_cast<int32_t>(r.integer("CTA"));
  p.type = static_cast<int32_t>(r.integer("TIPO"));
  p.name = r.text("NOMB");
  p.street = r.text("DIRE");
  p.town = r.text("POBL");
  p.city = r.text("CIUD");
  p.postcode = static_cast<int32_t>(r.integer("CODI"));
  p.phone = r.text("TELE");
  p.phone2 = r.text("TEL2");
  p.fax = r.text("FAX");
  p.mail = r.text("MAIL");
  p.web = r.text("WEB");
  for (int i = 1; i <= 5; ++i) p.promotions[i - 1] = r.text("PROM", i);
  p.comment = r.text("COME");
  return p;
}

tables::Record supplierRecord(const Supplier& p) {
  tables::Record r(tables::tableDef("PATR"));
  r.setInteger("CTA", p.account);
  r.setInteger("TIPO", p.type);
  r.setText("NOMB", p.name);
  r.setText("DIRE", p.street);
  r.setText("POBL", p.town);
  r.setText("CIUD", p.city);
  r.setInteger("CODI", p.postcode);
  r.setText("TELE", p.phone);
  r.setText("TEL2", p.phone2);
  r.setText("FAX", p.fax);
  r.setText("MAIL", p.mail);
  r.setText("WEB", p.web);
  for (int i = 1; i <= 5; ++i) r.setText("PROM", p.promotions[i - 1], i);
  r.setText("COME", p.comment);
  return r;
}

SupplierType supplierTypeOf(const tables::Record& r) {
  return {static_cast<int32_t>(r.integer("CTA")), r.text("DESC")};
}

tables::Record supplierTypeRecord(const SupplierType& t) {
  tables::Record r(tables::tableDef("TIPA"));
  r.setInteger("CTA", t.account);
  r.setText("DESC", t.description);
  return r;
}

}  // namespace velmora::shell
