//=============================================================================
// MyPawn: the sample modification's player.
//=============================================================================
class MyPawn extends ScriptedPawn;

defaultproperties
{
	Health=150
}
