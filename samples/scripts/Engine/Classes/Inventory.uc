//=============================================================================
// Inventory: something a pawn carries. The declaration continues on the
// next line, so its parent is read from there.
//=============================================================================
class Inventory
	extends Actor
	abstract
	native;

var Inventory Inventory;
var travel int Charge;

function GiveTo( Pawn Other );
