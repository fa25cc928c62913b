#pragma once

class Module1;

// Shows link LinkIndex in Combo1 and the visible browser and sends the hidden one ahead.
void ShowCurrentLink(Module1& m);
void MoveLeft(Module1& m);
void MoveRight(Module1& m);
// A pick from Combo1's dropped-down list.
void SelectFromList(Module1& m);
