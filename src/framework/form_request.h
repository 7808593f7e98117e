// The mode a record form is opened in, passed from a list to its form.
#pragma once

namespace velmora {

enum class FormRequest { kInsert = 1, kChange = 2, kDelete = 3, kView = 6 };

}  // namespace velmora
