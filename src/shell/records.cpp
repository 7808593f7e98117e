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

}  // namespace velmora::shell
