//=============================================================================
// Pawn: an actor that a player or the game's AI controls.
//=============================================================================
class Pawn extends Actor
	abstract
	native;

var float Health;
var Inventory Inventory;

event Died( Pawn Killer );
function bool IsAlive() { return Health > 0; }
