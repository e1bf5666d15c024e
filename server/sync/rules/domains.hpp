#pragma once
// Private to sync/: the rows of the entity table, one function per business domain. A new
// entity is one row in its domain's file.
#include <vector>

#include "sync/entities.hpp"

namespace tovik::sync::rules {

std::vector<Entity> sales();      // till sales, shifts, till events
std::vector<Entity> returns();    // returns of sales, recorded by the server
std::vector<Entity> documents();  // invoices, quotations
std::vector<Entity> clients();    // customers and their payments
std::vector<Entity> stock();      // products and stock adjustments
std::vector<Entity> payables();   // what the business owes, and payments of it
std::vector<Entity> treasury();   // treasury movements, expenses and their categories
std::vector<Entity> notes();      // the notepad

}  // namespace tovik::sync::rules
