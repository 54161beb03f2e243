//=============================================================================
// Flashlight: a light a player can switch on.
//=============================================================================
class Flashlight expands Inventory;

var float TimeChange;

function Activate();
