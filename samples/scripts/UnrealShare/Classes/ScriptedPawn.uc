//=============================================================================
// ScriptedPawn: a pawn driven by the game's AI.
//=============================================================================
class ScriptedPawn expands Pawn
	abstract;

var() name Orders;
var() float Aggressiveness;

state Wandering
{
Begin:
	Sleep(1.0);
}
